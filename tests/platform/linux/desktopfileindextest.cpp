#include "platform/linux/desktopfileindex.h"

#include "platform/linux/applicationidentity.h"
#include "support/tempdir.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::string desktopFile(const std::string& name, const std::string& extra = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + name + " %U\nIcon=" + name +
           "-icon\n" + extra;
}

// Two data folders, the first ("local") taking precedence, set through the XDG variables.
class DesktopFileIndexTest : public testing::Test {
protected:
    void SetUp() override {
        dir.write("local/applications/kitty.desktop", desktopFile("Kitty"));
        dir.write("local/applications/masked.desktop", desktopFile("Masked", "Hidden=true\n"));
        dir.write("local/applications/org.example.Editor.desktop",
                  desktopFile("Editor", "StartupWMClass=example-editor\n"));
        dir.write("system/applications/org.example.Editor.desktop", desktopFile("Old Editor"));
        dir.write("system/applications/masked.desktop", desktopFile("Masked"));
        dir.write("system/applications/debian-xterm.desktop", desktopFile("XTerm", "StartupWMClass=XTerm\n"));
        dir.write("system/applications/debian-uxterm.desktop", desktopFile("UXTerm", "StartupWMClass=UXTerm\n"));
        dir.write("system/applications/vendor/tool.desktop", desktopFile("Tool", "NoDisplay=true\n"));
        // Three folders down is as deep as an application is looked for.
        dir.write("system/applications/a/b/deep.desktop", desktopFile("Deep"));
        dir.write("system/applications/a/b/c/deeper.desktop", desktopFile("Deeper"));
        dir.write("system/applications/link.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=x\n");
        dir.write("system/applications/readme.txt", desktopFile("Not a desktop file"));
        setenv("XDG_DATA_HOME", (dir.path() / "local").c_str(), 1);
        setenv("XDG_DATA_DIRS", ("relative:" + (dir.path() / "system").string()).c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_DATA_DIRS");
    }

    test::TempDir dir;
};

TEST_F(DesktopFileIndexTest, ListsEachApplicationOnceByPrecedence) {
    EXPECT_EQ(DesktopFileIndex::xdgDataDirs(),
              (std::vector<fs::path>{dir.path() / "local", dir.path() / "system"}));
    DesktopFileIndex index(DesktopFileIndex::xdgDataDirs());
    auto installed = index.snapshot();
    std::vector<std::string> ids;
    for (const DesktopEntry& entry : installed->entries) {
        ids.push_back(entry.id);
    }
    // The local Editor shadows the system one; the hidden "masked" hides the system file of that ID.
    EXPECT_EQ(ids, (std::vector<std::string>{"kitty", "org.example.Editor", "a-b-deep", "debian-uxterm",
                                             "debian-xterm", "vendor-tool"}));
    EXPECT_EQ(*installed->byID("org.example.Editor"),
              (DesktopEntry{"org.example.Editor", "Editor", "Editor-icon", "Editor %U", "example-editor", false,
                            (dir.path() / "local/applications/org.example.Editor.desktop").string()}));
    EXPECT_TRUE(installed->byID("vendor-tool")->noDisplay);
    EXPECT_EQ(index.snapshot(), installed);
}

TEST_F(DesktopFileIndexTest, ParsesOnlyTheMainGroupAndItsUnlocalisedValues) {
    auto entry = DesktopFileIndex::parse("# comment\n[Desktop Entry]\r\nName[de]=Notizen\nName = Notes \n"
                                         "Exec=notes --title My\\sNotes\\\\x\nType=Application\n"
                                         "[Desktop Action new]\nName=New Note\nExec=notes --new\n",
                                         "org.example.Notes");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->name, "Notes");
    EXPECT_EQ(entry->exec, "notes --title My Notes\\x");
    EXPECT_FALSE(DesktopFileIndex::parse("[Desktop Entry]\nName=No type\n", "x"));
    EXPECT_FALSE(DesktopFileIndex::parse("[Other]\nType=Application\nName=X\n", "x"));
    EXPECT_FALSE(DesktopFileIndex::parse("[Desktop Entry]\nType=Application\n", "x"));
    // Names and ids must be UTF-8: the settings file keeps them, and a JSON writer refuses other bytes.
    EXPECT_FALSE(DesktopFileIndex::parse("[Desktop Entry]\nType=Application\nName=Caf\xE9\n", "x"));
    EXPECT_FALSE(DesktopFileIndex::parse("[Desktop Entry]\nType=Application\nName=X\n", "caf\xE9"));
}

TEST_F(DesktopFileIndexTest, ReadsAgainWhenAFolderChanges) {
    fs::path system = dir.path() / "system/applications";
    auto past = fs::last_write_time(system) - std::chrono::hours(1);
    fs::last_write_time(system, past);
    DesktopFileIndex index(DesktopFileIndex::xdgDataDirs());
    auto before = index.snapshot();
    EXPECT_FALSE(before->byID("org.example.Chat"));

    dir.write("system/applications/org.example.Chat.desktop", desktopFile("Chat"));
    EXPECT_TRUE(index.snapshot()->byID("org.example.Chat"));

    // A data folder without applications that gains them counts as a change too.
    DesktopFileIndex withMissing({dir.path() / "missing", dir.path() / "system"});
    EXPECT_FALSE(withMissing.snapshot()->byID("later"));
    dir.write("missing/applications/later.desktop", desktopFile("Later"));
    EXPECT_TRUE(withMissing.snapshot()->byID("later"));
}

TEST_F(DesktopFileIndexTest, IdentityOfWindows) {
    DesktopFileIndex index(DesktopFileIndex::xdgDataDirs());
    auto installed = index.snapshot();
    struct Row {
        WindowIdentityHints hints;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {{"org.gnome.Terminal", "org.kde.konsole", "xterm", "XTerm"}, "org.gnome.Terminal"},
        {{"", "org.kde.konsole", "konsole", "konsole"}, "org.kde.konsole"},
        {{"", "/usr/share/applications/org.kde.dolphin.desktop", "dolphin", "dolphin"}, "org.kde.dolphin"},
        {{"", "", "xterm", "XTerm"}, "debian-xterm"},
        {{"", "", "uxterm", "UXTerm"}, "debian-uxterm"},
        {{"", "", "example-editor", "Example-editor"}, "org.example.Editor"},
        {{"", "", "kitty", "kitty"}, "kitty"},
        {{"", "", "KITTY", "Kitty"}, "kitty"},
        {{"", "", "tool", "vendor-tool"}, "vendor-tool"},
        {{"", "", "masked", "Masked"}, "Masked"},
        {{"", "", "gnome-terminal-server", "Gnome-terminal"}, "Gnome-terminal"},
        {{"", "", "lonely", ""}, "lonely"},
        {{"", "", "", ""}, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(applicationIdentity(row.hints, *installed), row.expected)
            << row.hints.wmClassInstance << "/" << row.hints.wmClass;
    }
}

} // namespace
} // namespace korvane
