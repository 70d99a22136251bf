#include "config/configrebase.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace korvane {

// A configuration as the file would hold it, for failure messages.
void PrintTo(const AppConfig& config, std::ostream* out) {
    *out << config.encode().dump(-1, ' ', false, Json::error_handler_t::replace);
}

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

// The application lists of the three sides: "-" is an absent list and "[]" an empty one; otherwise
// blocks "id:snippets", where "*" after the id sets a popup position, "'" renames the application
// and the snippets are "key" or "key=expansion", separated by commas.
struct AppListCase {
    const char* base;
    const char* theirs;
    const char* ours;
    const char* expected;
};

std::vector<ManualSnippet> snippetList(const std::string& tokens, char separator) {
    std::vector<ManualSnippet> snippets;
    std::istringstream words(tokens);
    for (std::string word; std::getline(words, word, separator);) {
        const auto equals = word.find('=');
        if (!word.empty()) {
            snippets.push_back({.key = word.substr(0, equals),
                                .expand = equals == std::string::npos ? word : word.substr(equals + 1)});
        }
    }
    return snippets;
}

std::optional<std::vector<AppSnippetConfig>> appList(const std::string& blocks) {
    if (blocks == "-") {
        return std::nullopt;
    }
    std::vector<AppSnippetConfig> apps;
    std::istringstream words(blocks);
    for (std::string block; words >> block;) {
        if (block == "[]") {
            continue;
        }
        const auto colon = std::min(block.find(':'), block.size());
        std::string id = block.substr(0, block.find_first_of("*':"));
        const std::string marks = block.substr(id.size(), colon - id.size());
        const std::string name = marks.find('\'') == std::string::npos ? id : id + "'";
        apps.push_back(
            {id, name, snippetList(block.substr(std::min(colon + 1, block.size())), ','),
             marks.find('*') == std::string::npos ? std::nullopt : std::optional(PopupPosition::center)});
    }
    return apps;
}

// Each side also changes another key, which the result keeps.
void expectMerge(const AppListCase& row) {
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
        expectMerge(row);
    }
}

// A list that `ours` left as it was (absent and empty being the same) keeps the version of
// `theirs`, and a block of a repeated application id stands for the base's block equal to it, or for
// the one block left under its id: no block of either side goes.
TEST(ConfigRebaseTest, RepeatedApplicationIdsAndEmptyListsLoseNoBlockOfEitherSide) {
    const AppListCase cases[] = {
        {"-", "x x*", "[]", "x x*"},              // the window wrote an empty list
        {"[]", "x x*", "-", "x x*"},              // the window added and removed an application
        {"[]", "[]", "-", "[]"},                  // nothing changed: their file stays as it is
        {"a", "a x x*", "-", "x x*"},             // the window removed its last application
        {"a a*", "a a* y", "a a*:k", "a a*:k y"}, // the window edited the later block of a repeat
        {"a a*", "a*", "a a*:k", "a*:k"},         // another removed the earlier block
        {"a a*", "a:t a*", "a a*:k", "a:t a*:k"}, // each edited another block of the repeat
        {"x", "x x", "x'", "x' x"},               // another repeated an application the window renamed
    };
    for (const auto& row : cases) {
        expectMerge(row);
    }
}

// Where a repeated id leaves open which entry of the base a side's entry stands for, both sides'
// entries stay rather than one side's edit landing on the wrong one; ids are compared as bytes.
TEST(ConfigRebaseTest, AnAmbiguousRepeatLosesNoEntryOrChangeOfEitherSide) {
    const AppListCase cases[] = {
        // another removed the first b and changed the second, the window changed the first
        {"x:b=1,b=2", "x:b=T", "x:b=O,b=2", "x:b=O,b=T"},
        // another put a new block before the existing one and edited that, the window renamed it
        // and removed a snippet: another's new block keeps its name
        {"x:a,b", "x:n x*:a,b", "x':a", "x':a x:n x*:a,b"},
        // two identical snippets, each side changed one
        {"x:a,a", "x:a=T,a", "x:a,a=O", "x:a,a=O,a=T"},
        // another added a d and changed the original one, the window added a d of its own
        {"x:d", "x:d=N,d=L", "x:d,d=O", "x:d=O,d=N,d=L"},
        // two ids apart only in bytes that are not UTF-8: another removed one, the window edited
        // the other
        {"x\xFF x\xFE", "x\xFE", "x\xFF x\xFE*", "x\xFE*"},
    };
    for (const auto& row : cases) {
        expectMerge(row);
    }
}

// Within one application the snippets merge as the global list does: the window's version wins a
// conflict on one snippet, and everything else of both sides stays.
TEST(ConfigRebaseTest, BothSidesEditingOneApplicationKeepEachOthersSnippets) {
    const AppListCase cases[] = {
        {"x:a", "x:a,b", "x:a=O", "x:a=O,b"},                 // another added, the window edited
        {"x:a,b", "x:a=T,b", "x:a,b,c", "x:a=T,b,c"},         // another edited, the window added
        {"x:a,b", "x:a", "x:a=O,b", "x:a=O"},                 // another removed, the window edited
        {"x:a", "x:a=T", "x:a=O", "x:a=O"},                   // both edited one snippet
        {"x:a", "x:a,b=T", "x:a,b=O", "x:a,b=O"},             // both added one key
        {"x:a", "x*:a", "x':a,c", "x'*:a,c"},                 // the block's own fields merge one by one
        {"x:a", "x:a,b", "-", "-"},                           // the window removed the application
        {"x:a y", "y", "x:a=O y", "x:a=O y"},                 // another removed it, the window edited it
        {"-", "x:t", "x*:o", "x*:o,t"},                       // both added the same application
        {"x:a x:b", "x:a x:b,t", "x:a x:b=O", "x:a x:b=O,t"}, // within the later block of a repeat
    };
    for (const auto& row : cases) {
        expectMerge(row);
    }
}

// The global list with a repeated key: a row equal to one of the base stands for that row, so that
// deleting the earlier of two keeps another's edit of the later one; of identical rows that both
// sides kept fewer of than the base held, as many stay as both kept.
TEST(ConfigRebaseTest, GlobalSnippetsWithARepeatedKeyMergeRowByRow) {
    const std::array<const char*, 4> cases[] = {
        {"a a=2", "a a=2 b", "a a=O", "a a=O b"},
        {"a a=2 b", "a a=T b", "a=2 b", "a=T b"},
        {"a", "a a=2", "a c", "a c a=2"},
        {"a a a", "a x", "a a", "a x"},
    };
    for (const auto& [base, theirs, ours, expected] : cases) {
        SCOPED_TRACE(std::string(base) + " | " + theirs + " | " + ours);
        AppConfig config;
        config.snippets = snippetList(base, ' ');
        AppConfig their = config;
        their.snippets = snippetList(theirs, ' ');
        AppConfig our = config;
        our.snippets = snippetList(ours, ' ');
        EXPECT_EQ(rebaseConfig(their, config, our).snippets, snippetList(expected, ' '));
    }
}

// An application's id and name come from desktop files and window classes, which may hold bytes that
// are not UTF-8: such a block merges as any other.
TEST(ConfigRebaseTest, ABlockThatIsNotUtf8MergesAsAnyOther) {
    AppConfig base;
    base.appSnippets = std::vector<AppSnippetConfig>{{"a", "A", {}, std::nullopt}};
    AppConfig theirs = base;
    theirs.appSnippets->push_back({"y", "Y", {}, std::nullopt});
    (*theirs.appSnippets)[0].popupPosition = PopupPosition::center;
    AppConfig ours = base;
    ours.appSnippets->push_back({"x\xFF", "X\xFE", {}, std::nullopt});
    (*ours.appSnippets)[0].appName = "A\xC3";

    AppConfig expected = base;
    expected.appSnippets = std::vector<AppSnippetConfig>{{"a", "A\xC3", {}, PopupPosition::center},
                                                         {"x\xFF", "X\xFE", {}, std::nullopt},
                                                         {"y", "Y", {}, std::nullopt}};
    EXPECT_EQ(rebaseConfig(theirs, base, ours), expected);
}

int pick(std::mt19937& random, int count) {
    return std::uniform_int_distribution<int>(0, count - 1)(random);
}

// A list of snippets as the other writer and the window leave it, each editing or removing
// snippets that the other does not touch and maybe adding one, and the merge expected of the two:
// the edits replayed on the base, the window's addition before the other's.
std::array<std::vector<ManualSnippet>, 3> editSnippets(std::mt19937& random,
                                                       const std::vector<ManualSnippet>& base) {
    std::array<std::vector<ManualSnippet>, 3> sides; // theirs, ours, expected
    for (const auto& snippet : base) {
        const int owner = pick(random, 3);
        const bool removes = pick(random, 3) == 0;
        for (int side = 0; side < 3; ++side) {
            if (owner == 2 || (side != owner && side != 2)) {
                sides[side].push_back(snippet);
            } else if (!removes) {
                sides[side].push_back({.key = snippet.key, .expand = owner == 0 ? "theirs" : "ours"});
            }
        }
    }
    for (const int owner : {1, 0}) {
        if (pick(random, 2) == 0) {
            const ManualSnippet added{.key = owner == 0 ? "t" : "o", .expand = "new"};
            sides[owner].push_back(added);
            sides[2].push_back(added);
        }
    }
    return sides;
}

// The same for the application list: an application is removed by one side and left alone by the
// other, or each side changes other members and other snippets of it.
std::array<std::vector<AppSnippetConfig>, 3> editApps(std::mt19937& random,
                                                      const std::vector<AppSnippetConfig>& base) {
    std::array<std::vector<AppSnippetConfig>, 3> sides;
    for (const auto& app : base) {
        if (pick(random, 6) == 0) {
            sides[pick(random, 2)].push_back(app);
            continue;
        }
        std::array<AppSnippetConfig, 3> versions{app, app, app};
        if (const int owner = pick(random, 3); owner < 2) {
            versions[owner].appName = versions[2].appName = owner == 0 ? "Theirs" : "Ours";
        }
        if (const int owner = pick(random, 3); owner < 2) {
            versions[owner].popupPosition = versions[2].popupPosition =
                app.popupPosition ? std::nullopt : std::optional(PopupPosition::topLeft);
        }
        const auto snippets = editSnippets(random, app.snippets);
        for (int side = 0; side < 3; ++side) {
            versions[side].snippets = snippets[side];
            sides[side].push_back(versions[side]);
        }
    }
    for (const int owner : {1, 0}) {
        if (pick(random, 3) == 0) {
            const AppSnippetConfig added{"new" + std::to_string(owner), "New", {{.key = "n"}}, std::nullopt};
            sides[owner].push_back(added);
            sides[2].push_back(added);
        }
    }
    return sides;
}

TEST(ConfigRebaseTest, EditsOfDifferentSnippetsOrMembersMergeAsReplayingBothSides) {
    for (unsigned seed = 0; seed < 400; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        AppConfig base;
        base.snippets = snippetList("g0 g1 g2 g3", ' ');
        base.snippets.resize(pick(random, 5));
        std::vector<AppSnippetConfig> apps;
        for (int index = pick(random, 4); index > 0; --index) {
            apps.push_back({"app" + std::to_string(index), "App", snippetList("k0,k1,k2", ','),
                            pick(random, 2) ? std::optional(PopupPosition::center) : std::nullopt});
            apps.back().snippets.resize(pick(random, 4));
        }
        base.appSnippets = apps.empty() && pick(random, 2) == 0 ? std::nullopt : std::optional(apps);
        const auto snippets = editSnippets(random, base.snippets);
        const auto appLists = editApps(random, apps);
        std::array<AppConfig, 3> sides;
        for (int side = 0; side < 3; ++side) {
            sides[side].snippets = snippets[side];
            // An empty list is written either way; the tables check which one the merge keeps.
            sides[side].appSnippets = appLists[side];
            if (appLists[side].empty() && pick(random, 2) == 0) {
                sides[side].appSnippets.reset();
            }
        }
        AppConfig merged = rebaseConfig(sides[0], base, sides[1]);
        merged.appSnippets = merged.appSnippets.value_or(std::vector<AppSnippetConfig>{});
        sides[2].appSnippets = appLists[2];
        ASSERT_EQ(merged, sides[2]);
    }
}

} // namespace
} // namespace korvane
