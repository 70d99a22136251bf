#include "platform/fake/manualscheduler.h"

#include "base/clock.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

TEST(ManualSchedulerTest, RunsDelayedTasksInDueOrderAtTheirVirtualTime) {
    ManualScheduler scheduler;
    std::vector<std::string> ran;
    scheduler.postAfter(0.3, [&] { ran.push_back("b@" + std::to_string(scheduler.now())); });
    scheduler.postAfter(0.1, [&] {
        ran.push_back("a");
        scheduler.postAfter(0.1, [&] { ran.push_back("nested"); });
    });
    scheduler.post([&] { ran.push_back("now"); });

    scheduler.advance(0.25);
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "a", "nested"}));
    EXPECT_DOUBLE_EQ(scheduler.now(), 0.25);

    scheduler.advance(0.05);
    ASSERT_EQ(ran.size(), 4u);
    EXPECT_EQ(ran.back().substr(0, 2), "b@");
}

TEST(ManualSchedulerTest, CancelledTasksAndJobsDoNotRun) {
    ManualScheduler scheduler;
    int runs = 0;
    auto timer = scheduler.postAfter(1.0, [&] { ++runs; });
    auto job = scheduler.runInBackground(TaskPriority::utility, [&](const CancellationToken&) { ++runs; });
    auto later =
        scheduler.runInBackgroundAfter(0.5, TaskPriority::utility, [&](const CancellationToken&) { ++runs; });
    timer.cancel();
    job.cancel();
    later.cancel();
    scheduler.advance(2.0);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(scheduler.pendingTaskCount(), 0u);
}

// A background job asked for later waits apart from the main thread's tasks, and runs at its time in
// order with them.
TEST(ManualSchedulerTest, BackgroundJobsAskedForLaterWaitOffTheMainQueue) {
    ManualScheduler scheduler;
    std::vector<std::string> ran;
    scheduler.runInBackgroundAfter(0.2, TaskPriority::utility,
                                   [&](const CancellationToken&) { ran.push_back("job"); });
    scheduler.postAfter(0.1, [&] { ran.push_back("a"); });
    scheduler.postAfter(0.3, [&] { ran.push_back("b"); });
    EXPECT_EQ(scheduler.pendingTaskCount(), 2u);
    scheduler.advance(0.15);
    EXPECT_EQ(ran, (std::vector<std::string>{"a"}));
    scheduler.advance(0.2);
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "job", "b"}));
}

TEST(ManualSchedulerTest, BackgroundJobsWaitUntilReleased) {
    ManualScheduler scheduler;
    std::vector<std::string> ran;
    scheduler.runInBackground(TaskPriority::utility, [&](const CancellationToken&) {
        ran.push_back("job");
        scheduler.post([&] { ran.push_back("result"); });
    });
    scheduler.post([&] { ran.push_back("main"); });

    scheduler.runBackgroundJobs();
    EXPECT_EQ(ran, (std::vector<std::string>{"job"}));
    scheduler.runUntilIdle();
    EXPECT_EQ(ran, (std::vector<std::string>{"job", "main", "result"}));
}

TEST(ManualSchedulerTest, AdvancesAnAttachedClock) {
    ManualScheduler scheduler;
    FakeClock clock;
    scheduler.attachClock(&clock);
    const auto start = clock.now();
    double seenAt = -1;
    scheduler.postAfter(0.5, [&] { seenAt = secondsBetween(start, clock.now()); });
    scheduler.advance(2.0);
    EXPECT_DOUBLE_EQ(seenAt, 0.5);
    EXPECT_DOUBLE_EQ(secondsBetween(start, clock.now()), 2.0);
}

TEST(ManualSchedulerTest, ReadersRunOnTheMainQueueWhenTheirDescriptorIsMarkedReadable) {
    ManualScheduler scheduler;
    std::vector<std::string> ran;
    CancellationToken second;
    scheduler.watchReadable(3, [&] {
        ran.push_back("first");
        // A reader that cancels another one while the descriptor is being served.
        second.cancel();
    });
    second = scheduler.watchReadable(3, [&] { ran.push_back("second"); });
    scheduler.watchReadable(4, [&] { ran.push_back("other"); });
    EXPECT_EQ(scheduler.readerCount(), 3u);

    scheduler.markReadable(3);
    EXPECT_TRUE(ran.empty());
    scheduler.runUntilIdle();
    EXPECT_EQ(ran, (std::vector<std::string>{"first"}));
    EXPECT_EQ(scheduler.readerCount(), 2u);

    scheduler.markReadable(3);
    scheduler.markReadable(4);
    scheduler.runUntilIdle();
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "first", "other"}));
}

} // namespace
} // namespace korvane
