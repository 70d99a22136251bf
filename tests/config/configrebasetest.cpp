#include "config/configrebase.h"

#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

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

// The application lists of the three sides, by application id; "a*" is "a" edited, "-" an absent list.
struct AppListCase {
    const char* base;
    const char* theirs;
    const char* ours;
    const char* expected;
};

std::optional<std::vector<AppSnippetConfig>> appList(const std::string& ids) {
    if (ids == "-") {
        return std::nullopt;
    }
    std::vector<AppSnippetConfig> apps;
    std::istringstream words(ids);
    for (std::string id; words >> id;) {
        const bool edited = id.ends_with('*');
        if (edited) {
            id.pop_back();
        }
        apps.push_back({id, id, {}, edited ? std::optional(PopupPosition::center) : std::nullopt});
    }
    return apps;
}

// An absent list is an empty one on every side: the window removing its last application keeps
// what another writer added, and another writer removing the whole list keeps the applications the
// window did not touch from coming back. A list left with no entry is absent.
TEST(ConfigRebaseTest, ApplicationListsMergeByIdAndAnAbsentListCountsAsEmpty) {
    const AppListCase cases[] = {
        {"a", "a y", "-", "y"},     // the window removed its last application, another added one
        {"a b", "-", "a* b", "a*"}, // another removed all, the window edited one
        {"a", "-", "a c", "c"},     // another removed all, the window added one
        {"a", "-", "-", "-"},       // both removed all
        {"a b", "b", "a", "-"},     // each removed the other's remaining one
        {"a", "a*", "-", "-"},      // the window removed what another edited
        {"-", "x", "y", "y x"},     // both added a first application
        {"-", "-", "y", "y"},       // the window added the first application
        {"a b", "a b*", "a", "a"},  // the window removed one that another edited
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(std::string(row.base) + " | " + row.theirs + " | " + row.ours);
        AppConfig base;
        base.appSnippets = appList(row.base);
        AppConfig theirs = base;
        theirs.appSnippets = appList(row.theirs);
        theirs.trigger = "::";
        AppConfig ours = base;
        ours.appSnippets = appList(row.ours);
        ours.providers = std::vector<std::string>{"git"};

        AppConfig expected = theirs;
        expected.appSnippets = appList(row.expected);
        expected.providers = ours.providers;
        EXPECT_EQ(rebaseConfig(theirs, base, ours), expected);
    }
}

} // namespace
} // namespace korvane
