#include "config/listpairing.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

using Index = std::optional<std::size_t>;

// A list from words such as "a1 b2": each an entry under id "a" with value "1", and so on.
Json list(const std::string& words) {
    Json entries = Json::array();
    std::size_t at = 0;
    while (at < words.size()) {
        const std::size_t end = std::min(words.find(' ', at), words.size());
        const std::string word = words.substr(at, end - at);
        entries.push_back(Json{{"key", word.substr(0, 1)}, {"value", word.substr(1)}});
        at = end + 1;
    }
    return entries;
}

// Which base entry each entry of the two sides stands for, and for each of ours that stands for none,
// which of theirs is the same entry: pairing where it is certain, and nowhere else.
TEST(ListPairingTest, EntriesPairWithTheBaseOnlyWhereThatIsCertain) {
    struct Case {
        const char* what;
        std::string theirs, base, ours;
        std::vector<Index> theirBase, ourBase, theirMatch;
    };
    const auto none = std::nullopt;
    const std::vector<Case> cases = {
        {"equal entries pair whatever their order", "b1 a1", "a1 b1", "a1 b1", {1, 0}, {0, 1}, {none, none}},
        {"an edit pairs by its id where the id is one of a kind", "a1", "a1", "a2", {0}, {0}, {none}},
        {"an added entry stands for none", "a1", "a1", "a1 c1", {0}, {0, none}, {none, none}},
        {"copies pair in order, an added copy with none", "a1 a1", "a1", "a1", {0, none}, {0}, {none}},
        {"an edit under a repeated id pairs with the one base entry left under it",
         "a1 a2",
         "a1 a2",
         "a3 a2",
         {0, 1},
         {0, 1},
         {none, none}},
        {"two edits under a repeated id stand for nothing in particular",
         "a1 a2",
         "a1 a2",
         "a3 a4",
         {0, 1},
         {none, none},
         {none, none}},
        {"the same new entry on both sides is one entry",
         "a1 c1",
         "a1",
         "a1 c1",
         {0, none},
         {0, none},
         {none, 1}},
        {"a new id held once on each side is one entry, edited or not", "c1", "", "c2", {none}, {none}, {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Json theirs = list(c.theirs), base = list(c.base), ours = list(c.ours);
        const ListPairing pairing(theirs, base, ours, "key");
        for (std::size_t index = 0; index < c.theirBase.size(); ++index) {
            EXPECT_EQ(pairing.theirBase(index), c.theirBase[index]) << "theirs " << index;
        }
        for (std::size_t index = 0; index < c.ourBase.size(); ++index) {
            EXPECT_EQ(pairing.ourBase(index), c.ourBase[index]) << "ours " << index;
            EXPECT_EQ(pairing.theirMatch(index), c.theirMatch[index]) << "ours " << index;
        }
    }
}

// Copies of one entry that both sides kept fewer of than the base: none of them stands for a copy in
// particular, and the base's copies left unpaired may live on in ours.
TEST(ListPairingTest, CopiesBothSidesThinnedStandForNoCopyInParticular) {
    const Json base = list("a1 a1 a1"), theirs = list("a1 a1"), ours = list("a1 a2");
    const ListPairing pairing(theirs, base, ours, "key");
    EXPECT_TRUE(pairing.theirKeptCopy(0));
    EXPECT_TRUE(pairing.theirKeptCopy(1));
    EXPECT_TRUE(pairing.ourKeptCopy(0));
    EXPECT_FALSE(pairing.ourKeptCopy(1));
    EXPECT_EQ(pairing.ourBase(1), std::nullopt);
    EXPECT_TRUE(pairing.oursMayHold(1) || pairing.oursMayHold(2));
}

} // namespace
} // namespace korvane
