#include "platform/linux/threadworkerpool.h"

#include <gmock/gmock.h>

#include <future>
#include <latch>

namespace korvane {
namespace {

TEST(ThreadWorkerPoolTest, AJobThatBlocksDoesNotHoldUpTheOthersUpToTheThreadLimit) {
    ThreadWorkerPool pool("test-pool", 3);
    std::promise<void> release;
    const auto released = release.get_future().share();
    std::latch blocked(2);
    for (int i = 0; i < 2; ++i) {
        pool.run([&blocked, released] {
            blocked.count_down();
            released.wait();
        });
    }
    blocked.wait();
    std::promise<int> answer;
    pool.run([&answer] { answer.set_value(42); });
    EXPECT_EQ(answer.get_future().get(), 42);
    EXPECT_EQ(pool.threadCount(), 3u);

    // Past the limit a job waits for a free thread instead of starting one.
    std::promise<void> queuedRan;
    std::latch third(1);
    pool.run([&third, released] {
        third.count_down();
        released.wait();
    });
    third.wait();
    pool.run([&queuedRan] { queuedRan.set_value(); });
    EXPECT_EQ(pool.threadCount(), 3u);
    release.set_value();
    queuedRan.get_future().wait();
}

} // namespace
} // namespace korvane
