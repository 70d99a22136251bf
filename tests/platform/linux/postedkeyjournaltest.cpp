#include "platform/linux/postedkeyjournal.h"

#include <gtest/gtest.h>
#include <vector>

namespace korvane::x11 {
namespace {

constexpr std::uint16_t kControl = 4;

TEST(PostedKeyJournalTest, MatchesEachPostedEventOnceAndForgetsStaleOnes) {
    PostedKeyJournal journal;
    PostedKeyJournal::TimePoint t0{};
    journal.record({38, true}, t0);
    journal.record({38, false}, t0);

    EXPECT_FALSE(journal.consume({39, true}, t0));
    EXPECT_TRUE(journal.consume({38, true}, t0));
    EXPECT_TRUE(journal.consume({38, false}, t0));
    EXPECT_FALSE(journal.consume({38, true}, t0));
    EXPECT_EQ(journal.size(), 0u);

    journal.record({40, true}, t0);
    EXPECT_FALSE(journal.consume({40, true}, t0 + PostedKeyJournal::lifetime + std::chrono::milliseconds(1)));
    EXPECT_EQ(journal.size(), 0u);
}

// Korvane posts Control, BackSpace down and up, Control up. Another XTEST client's keys in between
// are theirs, even on the same key code.
TEST(PostedKeyJournalTest, OnlyTheNextPostedEventInItsExactStateIsOurs) {
    const std::vector<PostedKey> posted = {
        {37, true, 0}, {22, true, kControl}, {22, false, kControl}, {37, false, kControl}};
    struct Case {
        const char* name;
        std::vector<PostedKey> seen;
        std::vector<bool> ours;
    };
    const std::vector<Case> cases = {
        {"in order", posted, {true, true, true, true}},
        {"a foreign BackSpace before ours", {{22, true, 0}, posted[0], posted[1]}, {false, true, true}},
        {"a foreign BackSpace while our Control is down",
         {posted[0], {22, true, kControl}, posted[1]},
         {true, true, false}},
        {"a plain BackSpace where ours has Control",
         {posted[0], {22, true, 0}, posted[1]},
         {true, false, true}},
        {"a release before its press",
         {posted[0], posted[2], posted[1], posted[2]},
         {true, false, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PostedKeyJournal journal;
        PostedKeyJournal::TimePoint t0{};
        for (const PostedKey& key : posted) {
            journal.record(key, t0);
        }
        std::vector<bool> ours;
        for (const PostedKey& key : c.seen) {
            ours.push_back(journal.consume(key, t0));
        }
        EXPECT_EQ(ours, c.ours);
    }
}

} // namespace
} // namespace korvane::x11
