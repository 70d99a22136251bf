#include "platform/linux/postedkeyjournal.h"

#include <gtest/gtest.h>

namespace korvane::x11 {
namespace {

TEST(PostedKeyJournalTest, MatchesEachPostedEventOnceAndForgetsStaleOnes) {
    PostedKeyJournal journal;
    PostedKeyJournal::TimePoint t0{};
    journal.record(38, true, t0);
    journal.record(38, false, t0);

    EXPECT_FALSE(journal.consume(39, true, t0));
    EXPECT_TRUE(journal.consume(38, false, t0));
    EXPECT_TRUE(journal.consume(38, true, t0));
    EXPECT_FALSE(journal.consume(38, true, t0));
    EXPECT_EQ(journal.size(), 0u);

    journal.record(40, true, t0);
    EXPECT_FALSE(journal.consume(40, true, t0 + PostedKeyJournal::lifetime + std::chrono::milliseconds(1)));
    EXPECT_EQ(journal.size(), 0u);
}

} // namespace
} // namespace korvane::x11
