#include "platform/linux/fileuserdefaults.h"

#include "base/jsonreader.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvane {
namespace {

constexpr const char* kKey = "hasCompletedOnboarding";

TEST(FileUserDefaultsTest, ReadsOnlyTrueBooleansAndReplacesUnreadableFilesOnlyWhenSetting) {
    struct Case {
        std::optional<std::string> contents; // nothing: no file
        bool reads;
        // The other flag after setting ours, when the file's other flags survive the write.
        bool keepsOther;
    };
    const std::vector<Case> cases = {
        {std::nullopt, false, false},
        {"{\"hasCompletedOnboarding\": true, \"other\": true}", true, true},
        {"{\"hasCompletedOnboarding\": false, \"other\": true}", false, true},
        {"{\"hasCompletedOnboarding\": \"yes\", \"other\": true}", false, true},
        {"{\"hasCompletedOnboarding\": 1}", false, false},
        {"{\"hasCompletedOnboarding\": true", false, false},
        {"[true]", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents.value_or("(no file)"));
        test::TempDir dir;
        const auto file = dir.path() / "state" / "korvane" / "defaults.json";
        if (c.contents) {
            dir.write("state/korvane/defaults.json", *c.contents);
        }
        FileUserDefaults defaults(file);
        EXPECT_EQ(defaults.boolForKey(kKey), c.reads);
        EXPECT_FALSE(defaults.boolForKey("missing"));
        // Reading never rewrites the file.
        EXPECT_EQ(c.contents ? test::readFile(file) : "", c.contents.value_or(""));

        defaults.setBool(kKey, true);
        EXPECT_TRUE(defaults.boolForKey(kKey));
        EXPECT_EQ(defaults.boolForKey("other"), c.keepsOther);
        auto json = parseJson(test::readFile(file));
        ASSERT_TRUE(json && json->is_object());
        EXPECT_EQ((*json)[kKey], true);
        defaults.setBool(kKey, false);
        EXPECT_FALSE(FileUserDefaults(file).boolForKey(kKey));
    }
}

TEST(FileUserDefaultsTest, LivesPrivatelyInTheStateFolder) {
    test::TempDir dir;
    {
        test::ScopedEnv state("XDG_STATE_HOME", (dir.path() / "xdg-state").c_str());
        EXPECT_EQ(FileUserDefaults::defaultFile(), dir.path() / "xdg-state" / "korvane" / "defaults.json");
        FileUserDefaults().setBool(kKey, true);
    }
    struct stat info {};
    ASSERT_EQ(::stat((dir.path() / "xdg-state" / "korvane").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    test::ScopedEnv home("HOME", dir.path().c_str());
    test::ScopedEnv relative("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(FileUserDefaults::defaultFile(), dir.path() / ".local" / "state" / "korvane" / "defaults.json");
}

} // namespace
} // namespace korvane
