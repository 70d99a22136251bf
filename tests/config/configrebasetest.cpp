#include "config/configrebase.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// Each side changes other keys: the result holds both sides' changes, whatever the kind of change.
TEST(ConfigRebaseTest, ChangedKeysOfOursAreLaidOverTheirsKeyByKey) {
    AppConfig base;
    base.appSnippets = std::vector<AppSnippetConfig>{{"a", "A", {}, std::nullopt}};
    base.settings.scanDepth = 3;

    AppConfig ours = base;
    ours.appSnippets.reset();
    ours.settings.caseSensitive = true;
    ours.providers = std::vector<std::string>{"git"};

    AppConfig theirs = base;
    theirs.trigger = "::";
    theirs.settings.scanDepth = 9;
    theirs.providers = std::vector<std::string>{"files"};

    AppConfig expected = theirs;
    expected.appSnippets.reset();
    expected.settings.caseSensitive = true;
    expected.providers = std::vector<std::string>{"git"};
    EXPECT_EQ(rebaseConfig(theirs, base, ours), expected);
    EXPECT_EQ(rebaseConfig(theirs, base, base), theirs);
}

} // namespace
} // namespace korvane
