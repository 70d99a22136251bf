#include "files/recentfilestracker.h"

#include "files/gitcommandrunner.h"
#include "gitrepo.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/manualworkerpool.h"
#include "platform/linux/linuxprocessrunner.h"

#include <atomic>
#include <condition_variable>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace korvane {
namespace {

using ::testing::ElementsAre;
using Paths = std::vector<std::string>;

// Where the background refreshes of tests that never run them wait.
WorkerPool& idleWorkers() {
    static ManualWorkerPool workers;
    return workers;
}

TEST(RecentFilesTrackerTest, StatusLinesGiveTheFilesNamesRelativeToTheRoot) {
    const Paths lines = {
        "R  old.txt -> new.txt",
        "R  \"a -> b.txt\" -> c.txt",
        "C  src.txt -> copy.txt",
        " D gone.txt",
        "D  gone2.txt",
        "?? \"new file.txt\"",
        "?? \"caf\\303\\251.txt\"",
        "?? \"bad\\377.txt\"",
        " M x",
        "abc",
    };
    EXPECT_THAT(RecentFilesTracker::parseStatus(lines, ""),
                ElementsAre("new.txt", "c.txt", "copy.txt", "new file.txt", "caf\xc3\xa9.txt", "x"));
    EXPECT_THAT(RecentFilesTracker::parseStatus({" M app/a.ts", " M lib/b.ts", "?? app/c d.ts"}, "app/"),
                ElementsAre("a.ts", "c d.ts"));
}

TEST(RecentFilesTrackerTest, RootInASubfolderSeesOnlyItsOwnFilesRelativeToItself) {
    test::GitRepo repo;
    repo.write("packages/app/src/x.ts");
    repo.write("packages/lib/y.ts");
    ASSERT_TRUE(repo.sh("git add -A && git commit -qm one"));
    repo.write("packages/app/src/x.ts", "changed");
    repo.write("packages/lib/y.ts", "changed");
    repo.write("packages/app/new one.ts");
    const GitCommandRunner git(std::make_shared<LinuxProcessRunner>());
    const auto tracker =
        std::make_shared<RecentFilesTracker>(SystemClock::shared(), git.commandRunner(), idleWorkers());
    const auto snapshot = tracker->snapshot((repo.path() / "packages/app").string());
    EXPECT_THAT(snapshot.gitUncommitted, ElementsAre("src/x.ts", "new one.ts"));
    EXPECT_THAT(snapshot.gitRecentlyCommitted, ElementsAre("src/x.ts"));
}

TEST(RecentFilesTrackerTest, SessionSelectionsAgeOutAndStayWithTheirRoot) {
    FakeClock clock;
    const auto tracker = std::make_shared<RecentFilesTracker>(
        clock, [](const auto&, const auto&, double) { return std::optional<Paths>(Paths{}); }, idleWorkers());
    tracker->recordSelection("file:old.txt", "/a/b");
    clock.advance(1);
    tracker->recordSelection("file:mid.txt", "/a/b");
    tracker->recordSelection("file:other.txt", "/a/bc");
    clock.advance(0.5);
    tracker->recordSelection("git:branch:main", "/a/b");
    clock.advance(1797.5);
    EXPECT_THAT(tracker->snapshot("/a/b").sessionSelected,
                ElementsAre("git:branch:main", "mid.txt", "old.txt"));
    clock.advance(1);
    tracker->recordSelection("file:mid.txt", "/a/b");
    EXPECT_THAT(tracker->snapshot("/a/b").sessionSelected, ElementsAre("mid.txt", "git:branch:main"));

    for (int i = 0; i < 205; ++i) {
        tracker->recordSelection("file:" + std::to_string(i), "/p");
        clock.advance(0.001);
    }
    const auto session = tracker->snapshot("/p").sessionSelected;
    ASSERT_EQ(session.size(), 200u);
    EXPECT_EQ(session.back(), "5");
}

TEST(RecentFilesTrackerTest, ASnapshotBuiltBeforeTheIndexIsNotBuiltAgainUntilTheIndexIsThere) {
    FakeClock clock;
    ManualWorkerPool workers;
    std::vector<std::string> runs;
    const auto tracker = std::make_shared<RecentFilesTracker>(
        clock,
        [&](const Paths& arguments, const auto&, double) {
            runs.push_back(arguments[0]);
            return std::optional<Paths>(arguments[0] == "status" ? Paths{" M a.txt"} : Paths{});
        },
        workers);
    std::optional<RecentFilesTracker::IndexInfo> index;
    tracker->setIndexInfoProvider(
        [&](const std::string&) { return index.value_or(RecentFilesTracker::IndexInfo{}); });
    std::vector<std::string> events;
    tracker->setCallbacks([&](const std::string& root) { events.push_back("ready " + root); },
                          [&](const std::string& root, bool loading) {
                              events.push_back(std::string(loading ? "loading " : "loaded ") + root);
                          });
    EXPECT_EQ(tracker->cachedSnapshot("/r")->gitUncommitted, Paths{});
    EXPECT_EQ(tracker->cachedSnapshot("/r")->gitUncommitted, Paths{});
    EXPECT_EQ(workers.pendingCount(), 1u);
    workers.runAll();
    EXPECT_THAT(events, ElementsAre("loading /r", "loaded /r", "ready /r"));
    const std::size_t firstBuild = runs.size();

    // Each redraw that the ready callback starts reads the snapshot again: no build follows, however
    // long the index takes.
    for (int read = 0; read < 5; ++read) {
        EXPECT_EQ(tracker->cachedSnapshot("/r")->gitUncommitted, Paths{"a.txt"});
        tracker->refreshIfStale("/r");
        EXPECT_EQ(tracker->snapshot("/r").gitUncommitted, Paths{"a.txt"});
        clock.advance(60);
    }
    EXPECT_EQ(workers.pendingCount(), 0u);
    EXPECT_EQ(runs.size(), firstBuild);

    // git lists the index: what git listed before stands, fresh from when it was built.
    index = RecentFilesTracker::IndexInfo{true, true, {}};
    clock.advance(-290);
    EXPECT_EQ(tracker->cachedSnapshot("/r")->gitUncommitted, Paths{"a.txt"});
    EXPECT_EQ(workers.pendingCount(), 0u);
    clock.advance(RecentFilesTracker::freshness + 1);
    tracker->cachedSnapshot("/r");
    EXPECT_EQ(workers.pendingCount(), 1u);
    workers.runAll();
    EXPECT_EQ(runs.size(), 2 * firstBuild);

    // A walked index needs the files' times, which only a build with it reads: one build, then none.
    tracker->clearSnapshots();
    index.reset();
    tracker->snapshot("/r");
    index = RecentFilesTracker::IndexInfo{false, true, {}};
    EXPECT_EQ(tracker->cachedSnapshot("/r")->gitUncommitted, Paths{"a.txt"});
    EXPECT_EQ(tracker->cachedSnapshot("/r")->gitUncommitted, Paths{"a.txt"});
    EXPECT_EQ(workers.pendingCount(), 1u);
    workers.runAll();
    EXPECT_EQ(tracker->cachedSnapshot("/r")->gitUncommitted, Paths{});
    EXPECT_EQ(workers.pendingCount(), 0u);
}

// A refresh asked for while another build of the root runs waits for it and has it build once more,
// rather than run git beside it; reads meanwhile start nothing.
TEST(RecentFilesTrackerTest, OneBuildPerRootRunsAtATime) {
    std::mutex lock;
    std::condition_variable changed;
    int running = 0;
    int mostAtOnce = 0;
    int builds = 0;
    bool released = false;
    ManualWorkerPool workers;
    const auto tracker = std::make_shared<RecentFilesTracker>(
        SystemClock::shared(),
        [&](const Paths& arguments, const auto&, double) {
            std::unique_lock guard(lock);
            mostAtOnce = std::max(mostAtOnce, ++running);
            builds += arguments[0] == "status" ? 1 : 0;
            changed.notify_all();
            changed.wait(guard, [&] { return released; });
            --running;
            return std::optional<Paths>(Paths{});
        },
        workers);
    tracker->setIndexInfoProvider([](const std::string&) {
        return RecentFilesTracker::IndexInfo{true, true, {}};
    });
    int ready = 0;
    tracker->setCallbacks([&](const std::string&) { ++ready; }, {});
    tracker->refreshIfStale("/r");
    ASSERT_EQ(workers.pendingCount(), 1u);
    std::thread background([&] { workers.runAll(); });
    {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return running == 1; });
    }
    std::thread now([&] { tracker->refreshNow("/r"); });
    std::thread blocking([&] { tracker->snapshot("/r"); });
    tracker->cachedSnapshot("/r");
    EXPECT_TRUE(tracker->isRefreshing("/r"));
    EXPECT_EQ(workers.pendingCount(), 0u);
    {
        // Time for the other two to reach git, were they to run it beside the first.
        std::unique_lock guard(lock);
        changed.wait_for(guard, std::chrono::milliseconds(300), [&] { return running > 1; });
        released = true;
        changed.notify_all();
    }
    now.join();
    blocking.join();
    background.join();
    EXPECT_EQ(mostAtOnce, 1);
    EXPECT_EQ(builds, 2);
    EXPECT_GE(ready, 1);
    EXPECT_FALSE(tracker->isRefreshing("/r"));
}

// A refresh queued on workers that are all busy, perhaps with the very callers that need it, is built
// by the first caller that needs the snapshot, once; the queued job then finds it done.
TEST(RecentFilesTrackerTest, ACallerBuildsARefreshStillWaitingInTheQueueItself) {
    std::atomic<int> builds = 0;
    ManualWorkerPool workers;
    const auto tracker = std::make_shared<RecentFilesTracker>(
        SystemClock::shared(),
        [&](const Paths& arguments, const auto&, double) {
            builds += arguments[0] == "status" ? 1 : 0;
            return std::optional<Paths>(arguments[0] == "status" ? Paths{" M a.txt"} : Paths{});
        },
        workers);
    std::vector<std::string> events;
    tracker->setCallbacks([&](const std::string& root) { events.push_back("ready " + root); },
                          [&](const std::string& root, bool loading) {
                              events.push_back(std::string(loading ? "loading " : "loaded ") + root);
                          });
    for (const bool now : {false, true}) {
        SCOPED_TRACE(now ? "refreshNow" : "snapshot");
        tracker->clearSnapshots();
        events.clear();
        builds = 0;
        tracker->refreshIfStale("/r");
        ASSERT_EQ(workers.pendingCount(), 1u);
        std::promise<void> done;
        std::thread caller([&] {
            if (now) {
                tracker->refreshNow("/r");
            } else {
                EXPECT_EQ(tracker->snapshot("/r").gitUncommitted, Paths{"a.txt"});
            }
            done.set_value();
        });
        const bool finished =
            done.get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        EXPECT_TRUE(finished) << "the caller waited for a job that no worker runs";
        workers.runAll();
        caller.join();
        EXPECT_EQ(builds, 1);
        EXPECT_THAT(events, ElementsAre("loading /r", "ready /r", "loaded /r"));
        EXPECT_FALSE(tracker->isRefreshing("/r"));
    }
}

TEST(RecentFilesTrackerTest, OnlyTheFirstThousandUncommittedFilesCountAsRecent) {
    Paths status;
    for (int i = 0; i < 1500; ++i) {
        status.push_back("?? f" + std::to_string(i));
    }
    const auto tracker = std::make_shared<RecentFilesTracker>(
        SystemClock::shared(),
        [&](const Paths& arguments, const auto&, double) {
            return std::optional<Paths>(arguments[0] == "status" ? status : Paths{});
        },
        idleWorkers());
    const auto uncommitted = tracker->snapshot("/r").gitUncommitted;
    ASSERT_EQ(uncommitted.size(), RecentFilesTracker::uncommittedLimit);
    EXPECT_EQ(uncommitted.front(), "f0");
    EXPECT_EQ(uncommitted.back(), "f999");
}

TEST(RecentFilesTrackerTest, WalkedIndexRunsNoGitAndKeepsTheWeeksModifiedFiles) {
    test::TempDir root;
    const auto fresh = root.write("fresh.txt", "x");
    const auto old = root.write("old.txt", "x");
    std::filesystem::last_write_time(old, std::filesystem::file_time_type::clock::now() -
                                              std::chrono::hours(24 * 8));
    std::filesystem::last_write_time(fresh, std::filesystem::file_time_type::clock::now() -
                                                std::chrono::hours(24 * 6));
    int runs = 0;
    ManualWorkerPool workers;
    const auto tracker = std::make_shared<RecentFilesTracker>(
        SystemClock::shared(),
        [&](const auto&, const auto&, double) {
            ++runs;
            return std::optional<Paths>();
        },
        workers);
    tracker->setIndexInfoProvider([](const std::string&) {
        return RecentFilesTracker::IndexInfo{false, true, {"old.txt", "gone.txt", "fresh.txt"}};
    });
    EXPECT_THAT(tracker->snapshot(root.path().string()).mtimeRecent, ElementsAre("fresh.txt"));
    EXPECT_EQ(runs, 0);
}

} // namespace
} // namespace korvane
