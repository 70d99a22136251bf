#include "config/configrebase.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
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

// Random edits of both sides. With `repeats`, ids repeat in the base, an addition may take an id
// that the base holds and additions go anywhere; without, every id is unique and additions go last.
struct Fuzz {
    std::mt19937 random;
    bool repeats;
    int counter = 0;

    int pick(std::size_t count) { return std::uniform_int_distribution<int>(0, int(count) - 1)(random); }
    // A text that nothing else holds, naming the side that wrote it.
    std::string fresh(int side) { return (side == 0 ? "T" : "O") + std::to_string(++counter); }
    // The id of entry `index` of a base list: one of two letters, or the first one numbered.
    std::string id(const std::string& letters, int index) {
        return repeats ? letters.substr(pick(2), 1) : letters.substr(0, 1) + std::to_string(index);
    }
    std::vector<ManualSnippet> snippets(const std::string& letters, int count) {
        std::vector<ManualSnippet> list;
        for (int index = 0; index < count; ++index) {
            list.push_back(
                {.key = id(letters, index), .expand = repeats ? "e" + std::to_string(pick(2)) : "e"});
        }
        return list;
    }
};

const std::string& idOf(const ManualSnippet& snippet) {
    return snippet.key;
}
const std::string& idOf(const AppSnippetConfig& app) {
    return app.bundleId;
}

// A base entry as the other writer (0) and the window (1) leave it when `changing` says they change
// it, and the replay of both (2). A snippet merges whole: the window's version wins.
std::array<ManualSnippet, 3> changeEntry(Fuzz& fuzz, const ManualSnippet& base,
                                         std::array<bool, 2> changing) {
    std::array<ManualSnippet, 3> versions{base, base, base};
    for (int side = 0; side < 2; ++side) {
        if (changing[side]) {
            versions[side].expand = versions[2].expand = fuzz.fresh(side);
        }
    }
    return versions;
}
std::array<AppSnippetConfig, 3> changeEntry(Fuzz& fuzz, const AppSnippetConfig& base,
                                            std::array<bool, 2> changing);

// A list as the other writer (0) and the window (1) leave it, each side keeping, changing or
// removing each entry (where `editing` lets it) and adding some, and the replay of both (2): each
// entry as the window left it, or as the other writer did where the window left it alone, the
// window's removal winning over a change of the other writer and the other's removal over an entry
// the window left alone; in the window's order, then the other writer's additions.
template <typename Entry>
std::array<std::vector<Entry>, 3> replayList(Fuzz& fuzz, const std::vector<Entry>& base,
                                             std::array<bool, 2> editing) {
    enum Edit { keep, change, remove };
    std::array<std::vector<std::pair<Entry, std::optional<std::size_t>>>, 2> sides; // with the base index
    std::vector<std::optional<Entry>> replayed(base.size());
    std::array<std::set<std::string>, 2> removedIds;
    for (std::size_t index = 0; index < base.size(); ++index) {
        std::array<Edit, 2> edits{keep, keep};
        for (int side = 0; side < 2; ++side) {
            edits[side] =
                editing[side] ? std::array{keep, keep, keep, change, change, remove}[fuzz.pick(6)] : keep;
        }
        const auto versions = changeEntry(fuzz, base[index], {edits[0] == change, edits[1] == change});
        for (int side = 0; side < 2; ++side) {
            if (edits[side] == remove) {
                removedIds[side].insert(idOf(base[index]));
            } else {
                sides[side].push_back({versions[side], index});
            }
        }
        if (edits[1] != remove && (edits[0] != remove || versions[1] != base[index])) {
            replayed[index] = edits[0] == remove ? versions[1] : versions[2];
        }
    }
    for (int side = 0; side < 2; ++side) {
        for (int count = editing[side] ? fuzz.pick(3) : 0; count > 0; --count) {
            // Under an id that the side removed, an addition would read as a change of that entry.
            std::string id = fuzz.fresh(side);
            if (fuzz.repeats && !base.empty() && fuzz.pick(2) == 0) {
                const std::string& held = idOf(base[fuzz.pick(base.size())]);
                id = removedIds[side].contains(held) ? id : held;
            }
            Entry added;
            if constexpr (std::is_same_v<Entry, ManualSnippet>) {
                added = {.key = id, .expand = fuzz.fresh(side)};
            } else {
                added = {id, fuzz.fresh(side), {{.key = "n", .expand = fuzz.fresh(side)}}, std::nullopt};
            }
            const std::size_t at = fuzz.repeats ? fuzz.pick(sides[side].size() + 1) : sides[side].size();
            sides[side].insert(sides[side].begin() + at, {added, std::nullopt});
        }
    }
    std::array<std::vector<Entry>, 3> lists;
    for (const int side : {1, 0}) {
        for (const auto& [entry, origin] : sides[side]) {
            lists[side].push_back(entry);
            if (!origin) {
                lists[2].push_back(entry);
            } else if (side == 1 && replayed[*origin]) {
                lists[2].push_back(*replayed[*origin]);
            }
        }
    }
    return lists;
}

// An application's name, popup position and snippets each merge on their own, the window's change
// winning on the same member.
std::array<AppSnippetConfig, 3> changeEntry(Fuzz& fuzz, const AppSnippetConfig& base,
                                            std::array<bool, 2> changing) {
    std::array<AppSnippetConfig, 3> versions{base, base, base};
    const auto snippets = replayList(fuzz, base.snippets, changing);
    for (int side = 0; side < 3; ++side) {
        versions[side].snippets = snippets[side];
    }
    for (int side = 0; side < 2; ++side) {
        if (changing[side] && fuzz.pick(2) == 0) {
            versions[side].appName = versions[2].appName = fuzz.fresh(side);
        }
        if (changing[side] && fuzz.pick(2) == 0) {
            versions[side].popupPosition = versions[2].popupPosition =
                base.popupPosition ? std::nullopt : std::optional(PopupPosition::topLeft);
        }
    }
    return versions;
}

// What a configuration holds, each counted: every global snippet, and under each application id its
// name, its popup position and every one of its snippets.
std::map<std::string, int> holdingsOf(const AppConfig& config) {
    const auto text = [](const ManualSnippet& snippet) {
        return snippet.key + "=" + snippet.expand.value_or("");
    };
    std::map<std::string, int> held;
    for (const auto& snippet : config.snippets) {
        ++held["snippet " + text(snippet)];
    }
    for (const auto& app : config.appSnippets.value_or(std::vector<AppSnippetConfig>{})) {
        ++held[app.bundleId + " named " + app.appName];
        ++held[app.bundleId + " at " + std::string(app.popupPosition ? toString(*app.popupPosition) : "-")];
        for (const auto& snippet : app.snippets) {
            ++held[app.bundleId + " holds " + text(snippet)];
        }
    }
    return held;
}

template <typename Entry> bool repeatsAnId(const std::vector<Entry>& list) {
    std::set<std::string> ids;
    return std::any_of(list.begin(), list.end(),
                       [&](const Entry& entry) { return !ids.insert(idOf(entry)).second; });
}

bool repeatsAnId(const AppConfig& config) {
    const auto apps = config.appSnippets.value_or(std::vector<AppSnippetConfig>{});
    return repeatsAnId(config.snippets) || repeatsAnId(apps) ||
           std::any_of(apps.begin(), apps.end(), [](const auto& app) { return repeatsAnId(app.snippets); });
}

// Nothing lost: every entry, member and snippet that the replay of both sides holds (each entry and
// each change of either side that the other did not override) is in the merge at least as often.
// An extra copy may stay only where a repeated id leaves open which entry a side changed.
void expectNothingLost(const AppConfig& merged, const AppConfig& replay,
                       const std::array<const AppConfig*, 3>& versions) {
    const auto held = holdingsOf(merged);
    const auto replayHeld = holdingsOf(replay);
    if (std::none_of(versions.begin(), versions.end(),
                     [](const AppConfig* config) { return repeatsAnId(*config); })) {
        EXPECT_EQ(held, replayHeld);
    }
    for (const auto& [thing, count] : replayHeld) {
        EXPECT_GE(held.contains(thing) ? held.at(thing) : 0, count) << "lost " << thing;
    }
}

TEST(ConfigRebaseTest, EditsOfBothSidesMergeAsReplayingThemAndARepeatedIdLosesNothing) {
    for (unsigned seed = 0; seed < 800; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Fuzz fuzz{std::mt19937(seed), seed % 2 == 1};
        AppConfig base;
        base.snippets = fuzz.snippets("gh", fuzz.pick(5));
        std::vector<AppSnippetConfig> apps;
        for (int index = 0, count = fuzz.pick(4); index < count; ++index) {
            apps.push_back({fuzz.id("xy", index), "App", fuzz.snippets("ab", fuzz.pick(4)),
                            fuzz.pick(2) ? std::optional(PopupPosition::center) : std::nullopt});
        }
        base.appSnippets = apps.empty() && fuzz.pick(2) == 0 ? std::nullopt : std::optional(apps);
        const auto snippets = replayList(fuzz, base.snippets, {true, true});
        const auto appLists = replayList(fuzz, apps, {true, true});
        std::array<AppConfig, 3> sides;
        for (int side = 0; side < 3; ++side) {
            sides[side].snippets = snippets[side];
            // An empty list is written either way; the tables check which one the merge keeps.
            sides[side].appSnippets = appLists[side];
            if (appLists[side].empty() && fuzz.pick(2) == 0) {
                sides[side].appSnippets.reset();
            }
        }
        AppConfig merged = rebaseConfig(sides[0], base, sides[1]);
        merged.appSnippets = merged.appSnippets.value_or(std::vector<AppSnippetConfig>{});
        sides[2].appSnippets = appLists[2];
        if (fuzz.repeats) {
            expectNothingLost(merged, sides[2], {&sides[0], &base, &sides[1]});
        } else {
            EXPECT_EQ(merged, sides[2]);
        }
        if (testing::Test::HasFailure()) {
            break;
        }
    }
}

} // namespace
} // namespace korvane
