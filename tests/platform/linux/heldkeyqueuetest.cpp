#include "platform/linux/heldkeyqueue.h"

#include <gtest/gtest.h>

namespace korvane::x11 {
namespace {

using Key = HeldKeyQueue::Key;

TEST(HeldKeyQueueTest, PostsWhatWaitedInOrderAndLetsGoOfWhatIsStillDown) {
    HeldKeyQueue queue;
    // 'b' was down before the hold: its release cannot wait, the window has its press.
    EXPECT_FALSE(queue.defer({56, false}));
    EXPECT_TRUE(queue.defer({38, true}));
    EXPECT_TRUE(queue.defer({38, false}));
    EXPECT_TRUE(queue.defer({50, true})); // Shift, still down when the hold ends
    EXPECT_TRUE(queue.defer({53, true}));
    EXPECT_EQ(queue.takeForPosting(),
              (std::vector<Key>{{38, true}, {38, false}, {50, true}, {53, true}, {50, false}, {53, false}}));
    EXPECT_TRUE(queue.empty());
    EXPECT_FALSE(queue.defer({50, false})) << "let go of already";

    for (std::size_t i = 0; i < HeldKeyQueue::capacity; ++i) {
        ASSERT_TRUE(queue.defer({38, i % 2 == 0}));
    }
    EXPECT_FALSE(queue.defer({38, true}));
    queue.clear();
    EXPECT_TRUE(queue.takeForPosting().empty());
}

} // namespace
} // namespace korvane::x11
