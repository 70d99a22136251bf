#include "files/gitcommandrunner.h"
#include "files/recentfilestracker.h"
#include "gitrepo.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/manualworkerpool.h"
#include "platform/linux/linuxprocessrunner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvane {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using Paths = std::vector<std::string>;

// Where the background refreshes of tests that never run them wait.
WorkerPool& idleWorkers() {
    static ManualWorkerPool workers;
    return workers;
}

class RecentFilesRepoTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LANG", "C", 1);
        setenv("LC_ALL", "C", 1);
    }

    RecentFilesSnapshot snapshotOf(const std::filesystem::path& root) const {
        const auto tracker =
            std::make_shared<RecentFilesTracker>(SystemClock::shared(), git.commandRunner(), idleWorkers());
        return tracker->snapshot(root.string());
    }

    test::GitRepo repo;
    GitCommandRunner git{std::make_shared<LinuxProcessRunner>()};
};

TEST_F(RecentFilesRepoTest, QuotedRenamesAndCopiesInOnePackageOfTwo) {
    repo.write("packages/app/a -> b.txt", "one\ntwo\nthree\nfour\nfive\n");
    repo.write("packages/lib/y.ts", "y");
    ASSERT_TRUE(repo.sh("git add -A && git commit -qm one && git config status.renames copies"));
    ASSERT_TRUE(repo.sh("cd packages/app && cp 'a -> b.txt' 'caf\xc3\xa9 copy.txt' && "
                        "git mv 'a -> b.txt' 'new name.txt' && git add -A"));
    repo.write("packages/lib/y.ts", "changed");
    repo.write("packages/lib/z.ts", "new");

    const auto app = snapshotOf(repo.path() / "packages/app");
    EXPECT_THAT(app.gitUncommitted, UnorderedElementsAre("caf\xc3\xa9 copy.txt", "new name.txt"));
    EXPECT_THAT(app.gitRecentlyCommitted, ElementsAre("a -> b.txt"));

    const auto top = snapshotOf(repo.path());
    EXPECT_THAT(top.gitUncommitted,
                UnorderedElementsAre("packages/app/caf\xc3\xa9 copy.txt", "packages/app/new name.txt",
                                     "packages/lib/y.ts", "packages/lib/z.ts"));
}

TEST_F(RecentFilesRepoTest, RootsInFoldersWithUnusualNames) {
    for (const std::string folder : {"\"quoted\" app", "caf\xc3\xa9 app", "a\\b"}) {
        repo.write(folder + "/changed.txt", "one");
        ASSERT_TRUE(repo.sh("git add -A && git commit -qm '" + folder + "'"));
        repo.write(folder + "/changed.txt", "two");
        repo.write(folder + "/new \"one\".txt", "new");
        const auto snapshot = snapshotOf(repo.path() / folder);
        EXPECT_THAT(snapshot.gitUncommitted, UnorderedElementsAre("changed.txt", "new \"one\".txt"))
            << folder;
        EXPECT_THAT(snapshot.gitRecentlyCommitted, ElementsAre("changed.txt")) << folder;
        ASSERT_TRUE(repo.sh("git add -A && git commit -qm done"));
    }
}

TEST_F(RecentFilesRepoTest, StatusLeavesTheIndexAloneWhileTheUserMayBeCommitting) {
    repo.write("tracked.txt", "x");
    ASSERT_TRUE(
        repo.sh("git add -A && git commit -qm one && touch -d @1000000000 .git/index && touch tracked.txt"));
    snapshotOf(repo.path());
    struct stat index {};
    ASSERT_EQ(::stat((repo.path() / ".git/index").c_str(), &index), 0);
    EXPECT_EQ(index.st_mtim.tv_sec, 1000000000);
}

TEST_F(RecentFilesRepoTest, NoCommitsYetAndDetachedHead) {
    repo.write("new file.txt");
    repo.write("src/main.c");
    const auto unborn = snapshotOf(repo.path());
    EXPECT_THAT(unborn.gitUncommitted, UnorderedElementsAre("new file.txt", "src/main.c"));
    EXPECT_THAT(unborn.gitRecentlyCommitted, ElementsAre());

    ASSERT_TRUE(repo.sh("git add -A && git commit -qm one && git checkout -q --detach"));
    repo.write("src/main.c", "changed");
    const auto detached = snapshotOf(repo.path());
    EXPECT_THAT(detached.gitUncommitted, ElementsAre("src/main.c"));
    EXPECT_THAT(detached.gitRecentlyCommitted, UnorderedElementsAre("new file.txt", "src/main.c"));
}

TEST(RecentFilesFreshnessTest, ASnapshotIsFreshForThirtySecondsAndSelectionsKeepItsTime) {
    FakeClock clock;
    ManualWorkerPool workers;
    int statusRuns = 0;
    const auto tracker = std::make_shared<RecentFilesTracker>(
        clock,
        [&](const Paths& arguments, const auto&, double) {
            statusRuns += arguments[0] == "status" ? 1 : 0;
            return std::optional<Paths>(arguments[0] == "status" ? Paths{" M a.txt"} : Paths{});
        },
        workers);
    tracker->setIndexInfoProvider([](const std::string&) {
        return RecentFilesTracker::IndexInfo{true, true, {}};
    });

    const auto built = tracker->snapshot("/r");
    EXPECT_EQ(statusRuns, 1);
    clock.advance(30);
    tracker->refreshIfStale("/r");
    tracker->cachedSnapshot("/r");
    EXPECT_EQ(workers.pendingCount(), 0u);

    tracker->recordSelection("file:b.txt", "/r");
    EXPECT_EQ(tracker->cachedSnapshot("/r")->timestamp, built.timestamp);
    EXPECT_THAT(tracker->cachedSnapshot("/r")->sessionSelected, ElementsAre("b.txt"));

    clock.advance(0.001);
    tracker->refreshIfStale("/r");
    tracker->refreshIfStale("/r");
    EXPECT_EQ(tracker->snapshot("/r").timestamp, built.timestamp);
    EXPECT_EQ(workers.pendingCount(), 1u);
    EXPECT_TRUE(tracker->isRefreshing("/r"));
    workers.runAll();
    EXPECT_EQ(statusRuns, 2);
    EXPECT_EQ(tracker->cachedSnapshot("/r")->timestamp, clock.now());
    EXPECT_THAT(tracker->cachedSnapshot("/r")->sessionSelected, ElementsAre("b.txt"));
    EXPECT_EQ(workers.pendingCount(), 0u);
}

} // namespace
} // namespace korvane
