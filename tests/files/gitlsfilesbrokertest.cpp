#include "platform/fake/fakeclock.h"
#include "files/gitlsfilesbroker.h"
#include "support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace korvane {
namespace {

using Files = std::vector<std::string>;

TEST(GitLsFilesBrokerTest, HandsAFreshListingOutOnceAndDiscardsAnOldOne) {
    FakeClock clock;
    GitLsFilesBroker broker(clock);
    test::LogCapture log;

    broker.store("/work/proj", {"a.txt", "b.txt"});
    clock.advance(0.4);
    EXPECT_EQ(broker.consume("/work/proj/", 1.0), std::nullopt) << "a trailing slash names another root";
    auto fresh = broker.consume("/work/proj", 1.0);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->first, (Files{"a.txt", "b.txt"}));
    EXPECT_NEAR(fresh->second, 400, 1);
    EXPECT_EQ(broker.consume("/work/proj", 1.0), std::nullopt);
    EXPECT_TRUE(log.performanceLines().empty());

    broker.store("/work/proj", {"a.txt"});
    clock.advance(1.0);
    EXPECT_TRUE(broker.consume("/work/proj", 1.0)) << "exactly the age limit is fresh";

    broker.store("/work/proj", {"a.txt"});
    clock.advance(-5);
    EXPECT_TRUE(broker.consume("/work/proj", 1.0)) << "a clock set back gives a negative age";

    broker.store("/work/proj", {"a.txt"});
    clock.advance(1.5);
    EXPECT_EQ(broker.consume("/work/proj", 1.0), std::nullopt);
    ASSERT_EQ(log.performanceLines().size(), 1u);
    EXPECT_EQ(log.performanceLines()[0].category, "GitLsFilesBroker");
    EXPECT_EQ(log.performanceLines()[0].message, "[BROKER EXPIRED] root=proj age=1500ms maxAge=1000ms");
    EXPECT_EQ(broker.waitingCount(), 0u);
}

TEST(GitLsFilesBrokerTest, ListingsNeverConsumedLeaveOnceOld) {
    FakeClock clock;
    GitLsFilesBroker broker(clock);
    broker.store("/a", {"x"});
    clock.advance(GitLsFilesBroker::seedLifetime + 1);
    broker.store("/b", {"y"});
    EXPECT_EQ(broker.waitingCount(), 1u);
    // Pruning drops what no build would take, without waiting for another listing.
    clock.advance(1.5);
    broker.store("/c", {"z"});
    broker.prune(1.0);
    EXPECT_EQ(broker.waitingCount(), 1u);
    EXPECT_TRUE(broker.consume("/c", 1.0));
}

TEST(GitLsFilesBrokerTest, ExactlyOneOfManyThreadsReceivesTheListing) {
    GitLsFilesBroker broker(SystemClock::shared());
    broker.store("/p", {"x"});
    std::atomic<int> received{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] { received += broker.consume("/p", 10.0) ? 1 : 0; });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(received.load(), 1);
}

} // namespace
} // namespace korvane
