#include "files/filepathprovider.h"

#include "files/projectstatestamp.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/faketreewatchsource.h"
#include "platform/fake/manualworkerpool.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Paths = std::vector<std::string>;

// A git stand-in that lists fixed files for ls-files (and no untracked folder), counts listings and can be told what status
// and log print, to fail, or to hold a listing until released.
class FakeGit {
public:
    CommandRunner runner() {
        return [this](const Paths& arguments, const std::string&, double) -> std::optional<Paths> {
            if (arguments[0] == "status") {
                // Answers what it found when it began, as git does, however long it is held.
                std::unique_lock lock(mutex_);
                const std::optional<Paths> answer = status;
                ++statusRuns_;
                mostStatusRunsAtOnce_ = std::max(mostStatusRunsAtOnce_, ++statusRunning_);
                changed_.notify_all();
                if (std::exchange(holdNextStatus_, false)) {
                    changed_.wait(lock, [&] { return statusReleased_; });
                }
                --statusRunning_;
                return answer;
            }
            if (arguments[0] == "log") {
                return log;
            }
            if (arguments[0] == "rev-parse") {
                return Paths{};
            }
            if (std::find(arguments.begin(), arguments.end(), "--directory") != arguments.end()) {
                return Paths{}; // no untracked folder
            }
            std::unique_lock lock(mutex_);
            ++listings_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !holding_; });
            if (throwNext_) {
                throwNext_ = false;
                throw std::runtime_error("broken");
            }
            return files;
        };
    }
    int listings() const {
        std::lock_guard lock(mutex_);
        return listings_;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }
    void waitForListings(int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return listings_ >= count; });
    }
    void holdNextStatus() {
        std::lock_guard lock(mutex_);
        holdNextStatus_ = true;
    }
    void releaseStatus() {
        std::lock_guard lock(mutex_);
        statusReleased_ = true;
        changed_.notify_all();
    }
    void setStatus(Paths lines) {
        std::lock_guard lock(mutex_);
        status = std::move(lines);
    }
    void waitForStatusRuns(int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return statusRuns_ >= count; });
    }
    int mostStatusRunsAtOnce() const {
        std::lock_guard lock(mutex_);
        return mostStatusRunsAtOnce_;
    }
    void throwNext() {
        std::lock_guard lock(mutex_);
        throwNext_ = true;
    }

    Paths files = {"src/main.c", "README.md"};
    std::optional<Paths> status = Paths{};
    std::optional<Paths> log = Paths{};

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int listings_ = 0;
    bool holding_ = false;
    bool throwNext_ = false;
    int statusRuns_ = 0;
    int statusRunning_ = 0;
    int mostStatusRunsAtOnce_ = 0;
    bool holdNextStatus_ = false;
    bool statusReleased_ = false;
};

struct Fixture {
    FakeClock clock;
    ManualWorkerPool workers;
    FakeGit git;
    std::shared_ptr<FilePathProvider> provider = FilePathProvider::create(clock, git.runner(), workers);
};

int cacheMisses(const test::LogCapture& log) {
    int count = 0;
    for (const auto& line : log.performanceLines()) {
        count += line.message.starts_with("[CACHE MISS]") ? 1 : 0;
    }
    return count;
}

TEST(FilePathProviderTest, LeastRecentlyUsedRootLeavesTheCacheFirst) {
    Fixture f;
    for (const std::string root : {"/1", "/2", "/3", "/4", "/5"}) {
        f.provider->index(root);
    }
    f.provider->index("/1");
    f.provider->index("/6");
    EXPECT_EQ(f.git.listings(), 6);
    f.provider->index("/1");
    EXPECT_EQ(f.git.listings(), 6) << "root 1 was used again and stayed";
    f.provider->index("/2");
    EXPECT_EQ(f.git.listings(), 7) << "root 2 was the least recently used";
}

// Folders whose times lie in the past, so that the index built over them counts as settled.
void ageTree(const std::filesystem::path& root) {
    const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::filesystem::last_write_time(entry.path(), past);
    }
    std::filesystem::last_write_time(root, past);
}

TEST(FilePathProviderTest, IndexIsRebuiltOnlyWhenTheProjectChanged) {
    Fixture f;
    test::TempDir dir;
    dir.write("src/main.c", "");
    dir.write("README.md", "");
    ageTree(dir.path());
    const std::string root = dir.path().string();
    f.provider->index(root);
    // Unchecked for long, but nothing changed: looked at in the background, not rebuilt.
    f.clock.advance(31);
    f.git.files = {"new.txt"};
    f.provider->index(root);
    f.provider->index(root);
    EXPECT_EQ(f.workers.pendingCount(), 1u);
    f.workers.runAll();
    EXPECT_EQ(f.git.listings(), 1);
    f.clock.advance(20);
    f.provider->index(root);
    EXPECT_EQ(f.workers.pendingCount(), 0u) << "checked 20 s ago";
    // A file appears in a folder: the next look rebuilds, serving the old index meanwhile.
    dir.write("src/new.c", "");
    f.clock.advance(31);
    EXPECT_EQ(f.provider->index(root).relativePaths->toVector(), (Paths{"README.md", "src/main.c"}));
    f.workers.runAll();
    EXPECT_EQ(f.git.listings(), 2);
    EXPECT_EQ(f.provider->index(root).relativePaths->toVector(), Paths{"new.txt"});
}

// A folder dated ahead of the clock (a tarball from a machine whose clock ran fast) cannot settle
// the stamp by the clock; two stamps that agree around one more listing do, and the index is then
// only looked at until something changes.
TEST(FilePathProviderTest, AFutureDatedFolderSettlesAfterOneMoreListing) {
    Fixture f;
    test::TempDir dir;
    dir.write("src/main.c", "");
    dir.write("README.md", "");
    ageTree(dir.path());
    std::filesystem::last_write_time(dir.path() / "src", std::filesystem::file_time_type::clock::now() +
                                                             std::chrono::hours(24 * 365));
    const std::string root = dir.path().string();
    f.provider->index(root);
    for (int check = 0; check < 5; ++check) {
        f.clock.advance(31);
        f.provider->index(root);
        f.workers.runAll();
    }
    EXPECT_EQ(f.git.listings(), 2);

    dir.write("src/new.c", "");
    f.git.files = {"README.md", "src/main.c", "src/new.c"};
    f.clock.advance(31);
    f.provider->index(root);
    f.workers.runAll();
    EXPECT_EQ(f.git.listings(), 3);
    EXPECT_EQ(f.provider->index(root).relativePaths->toVector(),
              (Paths{"README.md", "src/main.c", "src/new.c"}));
}

// A ".git" that is a pipe, in the project or in a folder above it that another user can write (/tmp), is
// no pointer to a git directory: the stamp is taken without waiting for a writer that never comes.
TEST(FilePathProviderTest, APipeNamedDotGitHoldsNoStampUp) {
    test::TempDir dir;
    dir.write("project/src/main.c", "");
    const auto pipe = dir.path() / ".git";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string root = (dir.path() / "project").string();
    auto taken = std::async(std::launch::async, [&] {
        return ProjectStateStamp::take(root, PathList(Paths{"src/main.c"}), std::chrono::system_clock::now());
    });
    const bool done = taken.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!done) {
        // Lets the reading that waits for a writer go, so that the test ends.
        ::close(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK));
        taken.wait();
    }
    EXPECT_TRUE(done);
}

// A look trusts the watch in place of the stamp's folders, so the watch must already stand when the
// stamp reads them: what changes after that reading is then seen.
TEST(FilePathProviderTest, AProjectIsWatchedBeforeItsStampReadsTheFolders) {
    FakeClock clock;
    ManualWorkerPool workers;
    FakeGit git;
    const auto watches = std::make_shared<FakeTreeWatchSource>();
    std::optional<std::uint64_t> readWhenArmed;
    watches->onArm = [&](const std::string&) { readWhenArmed = ProjectStateStamp::entriesRead(); };
    const auto provider = FilePathProvider::create(clock, git.runner(), workers, nullptr, watches);
    test::TempDir dir;
    dir.write("src/main.c", "");
    provider->index(dir.path().string());
    ASSERT_TRUE(readWhenArmed);
    EXPECT_LT(*readWhenArmed, ProjectStateStamp::entriesRead());
}

// git ran out of time once (and in the second case failed three more times) and the walk stood in,
// its list lacking a folder it never enters: git is asked again at checks ever further apart (30 s
// after the build, then 60, 120, at most 240 s), however often the files are searched, and its
// complete list replaces the walk's for good.
TEST(FilePathProviderTest, AWalkThatStoodInForAFailedGitIsReplacedWhenGitAnswers) {
    const std::vector<std::pair<int, std::vector<double>>> cases = {
        {1, {0, 36}},
        {4, {0, 36, 98, 222, 470}},
    };
    for (const auto& [failures, expected] : cases) {
        FakeClock clock;
        const auto start = clock.now();
        ManualWorkerPool workers;
        test::TempDir dir;
        dir.write("src/main.c", "");
        dir.write("build/generated.c", "");
        ageTree(dir.path());
        std::vector<double> asked;
        const auto provider = FilePathProvider::create(
            clock,
            [&](const Paths& arguments, const std::string&, double timeout) -> std::optional<Paths> {
                if (arguments[0] != "ls-files") {
                    return Paths{};
                }
                asked.push_back(secondsBetween(start, clock.now()));
                if (asked.size() == 1) {
                    clock.advance(timeout);
                }
                if (static_cast<int>(asked.size()) <= failures) {
                    return std::nullopt;
                }
                return Paths{"build/generated.c", "src/main.c"};
            },
            workers);
        const std::string root = dir.path().string();
        EXPECT_EQ(provider->index(root).relativePaths->toVector(), Paths{"src/main.c"});
        for (int second = 0; second < 600; ++second) {
            clock.advance(1);
            provider->index(root);
            workers.runAll();
        }
        EXPECT_EQ(asked, expected) << failures;
        EXPECT_EQ(provider->index(root).relativePaths->toVector(),
                  (Paths{"build/generated.c", "src/main.c"}));
    }
}

// Only an answer of git's that may change is asked for again on a timer. A folder that no repository
// holds, a work tree that is not the folder's own and a machine without git keep their answer: the
// walk stands, git is asked again only once the project changed, and one line says why, once.
TEST(FilePathProviderTest, AFinalAnswerFromGitKeepsTheWalkUntilTheProjectChanges) {
    const std::vector<std::pair<GitFailure, bool>> cases = {
        {GitFailure::timedOut, false},       {GitFailure::failed, false},    {GitFailure::noRepository, true},
        {GitFailure::workTreeRefused, true}, {GitFailure::gitMissing, true},
    };
    for (const auto& [failure, final] : cases) {
        SCOPED_TRACE(std::string(toString(failure)));
        FakeClock clock;
        ManualWorkerPool workers;
        test::TempDir dir;
        dir.write("src/main.c", "");
        ageTree(dir.path());
        int asked = 0;
        const auto provider = FilePathProvider::create(
            clock,
            [&](const Paths& arguments, const std::string&, double) -> GitOutput {
                if (arguments[0] != "ls-files") {
                    return Paths{};
                }
                ++asked;
                return GitOutput::none(failure);
            },
            workers);
        test::LogCapture log;
        const std::string root = dir.path().string();
        const auto run = [&](int seconds) {
            for (int second = 0; second < seconds; ++second) {
                provider->index(root);
                workers.runAll();
                clock.advance(1);
            }
        };
        const auto told = [&] {
            std::vector<std::string> lines;
            for (const auto& line : log.performanceLines()) {
                if (line.message.starts_with("[FILEMANAGER FINAL]")) {
                    lines.push_back(line.message);
                }
            }
            return lines;
        };
        run(600);
        EXPECT_EQ(asked == 1, final) << asked;
        const std::string why = "[FILEMANAGER FINAL] root=" + dir.path().filename().string() +
                                " gitFailure=" + std::string(toString(failure));
        EXPECT_EQ(told(), final ? std::vector<std::string>{why} : std::vector<std::string>{});

        dir.write("src/new.c", "");
        ageTree(dir.path());
        const int before = asked;
        run(60);
        EXPECT_EQ(provider->index(root).relativePaths->toVector(), (Paths{"src/main.c", "src/new.c"}));
        if (final) {
            EXPECT_EQ(asked, before + 1);
            EXPECT_EQ(told(), std::vector<std::string>{why});
        }
    }
}

// A folder with no repository, walked: a file made in a folder that held no file when it was walked is
// listed at the next look, as is one made in a folder nested in it; none below a folder the walk skips.
TEST(FilePathProviderTest, AWalkedProjectListsAFileMadeInAFolderThatHeldNone) {
    FakeClock clock;
    ManualWorkerPool workers;
    test::TempDir dir;
    dir.write("src/main.c", "");
    std::filesystem::create_directories(dir.path() / "drafts/2025");
    dir.write("node_modules/lib/index.js", "");
    ageTree(dir.path());
    const auto provider = FilePathProvider::create(
        clock,
        [](const Paths&, const std::string&, double) -> GitOutput { return GitOutput::none(GitFailure::noRepository); },
        workers);
    const std::string root = dir.path().string();
    ASSERT_EQ(provider->index(root).relativePaths->toVector(), Paths{"src/main.c"});
    const auto look = [&] {
        provider->checkForChanges(root);
        workers.runAll();
        return provider->index(root).relativePaths->toVector();
    };
    dir.write("node_modules/lib/new.js", "");
    EXPECT_EQ(look(), Paths{"src/main.c"});
    dir.write("drafts/idea.md", "");
    EXPECT_EQ(look(), (Paths{"drafts/idea.md", "src/main.c"}));
    dir.write("drafts/2025/plan.md", "");
    EXPECT_EQ(look(), (Paths{"drafts/2025/plan.md", "drafts/idea.md", "src/main.c"}));
}

// Folders without a repository come and go for as long as Korvane runs: what was told about them is
// remembered for the latest few, so that memory stays bounded, and a root pushed out is told again.
TEST(FilePathProviderTest, WhyAWalkStandsIsRememberedForTheLatestRootsOnly) {
    FakeClock clock;
    ManualWorkerPool workers;
    test::TempDir dir;
    const std::size_t roots = FilePathIndexCache::toldRootsRemembered + 1;
    for (std::size_t i = 0; i < roots; ++i) {
        dir.write("r" + std::to_string(i) + "/main.c", "");
    }
    const auto provider = FilePathProvider::create(
        clock,
        [](const Paths& arguments, const std::string&, double) -> GitOutput {
            return arguments[0] == "ls-files" ? GitOutput::none(GitFailure::noRepository) : Paths{};
        },
        workers);
    test::LogCapture log;
    const auto root = [&](std::size_t i) { return (dir.path() / ("r" + std::to_string(i))).string(); };
    const auto told = [&](std::size_t i) {
        const std::string line =
            "[FILEMANAGER FINAL] root=r" + std::to_string(i) + " gitFailure=NO_REPOSITORY";
        int count = 0;
        for (const auto& logged : log.performanceLines()) {
            count += logged.message == line ? 1 : 0;
        }
        return count;
    };
    for (std::size_t i = 0; i < roots; ++i) {
        provider->index(root(i));
    }
    provider->clearAllCaches();
    provider->index(root(roots - 1));
    provider->index(root(0));
    EXPECT_EQ(told(roots - 1), 1);
    EXPECT_EQ(told(0), 2);
}

TEST(FilePathProviderTest, RefreshRebuildsAnUnchangedIndexAndThenSaysSo) {
    Fixture f;
    f.provider->index("/r");
    f.git.files = {"committed.txt"};
    bool done = false;
    f.provider->refresh("/r", [&] { done = true; });
    EXPECT_EQ(f.provider->index("/r").relativePaths->toVector(), (Paths{"README.md", "src/main.c"}));
    f.workers.runAll();
    EXPECT_TRUE(done);
    EXPECT_EQ(f.provider->index("/r").relativePaths->toVector(), Paths{"committed.txt"});
}

std::vector<std::string> labelsOf(const std::vector<SearchResult>& results) {
    std::vector<std::string> labels;
    for (const auto& result : results) {
        labels.push_back(result.snippet->label);
    }
    return labels;
}

// Ctrl+R makes the recent files again from the rebuilt index however fresh they were, before it says
// it is done; a background refresh that began before it cannot put the old ones back.
// The refresh the user asks for makes the recent files from the new index. One made from the old index
// still under way is waited for, never run beside, and made once more.
TEST(FilePathProviderTest, RefreshAlsoMakesTheRecentFilesAgain) {
    Fixture f;
    f.provider->index("/r");
    EXPECT_TRUE(f.provider->search("", "/r", false).empty());
    f.clock.advance(31);
    f.provider->search("", "/r", false);
    ASSERT_EQ(f.workers.pendingCount(), 2u) << "a check of the index and a refresh of the recent files";
    f.git.holdNextStatus();
    auto older = std::async(std::launch::async, [&] { f.workers.runJob(1); });
    f.git.waitForStatusRuns(2);

    f.git.files = {"README.md", "new.txt", "src/main.c"};
    f.git.setStatus({"?? new.txt"});
    std::atomic<bool> done = false;
    f.provider->refresh("/r", [&] {
        EXPECT_THAT(labelsOf(f.provider->search("", "/r", false)), ElementsAre("new.txt"));
        done = true;
    });
    auto refreshing = std::async(std::launch::async, [&] { f.workers.runJob(1); });
    f.git.releaseStatus();
    refreshing.get();
    older.get();
    EXPECT_TRUE(done);
    EXPECT_EQ(f.git.mostStatusRunsAtOnce(), 1);
    EXPECT_THAT(labelsOf(f.provider->search("", "/r", false)), ElementsAre("new.txt"));
}

TEST(FilePathProviderTest, ChangedIncludePathsDropTheCacheAndAnyRebuildInFlight) {
    Fixture f;
    f.provider->index("/r");
    f.provider->refresh("/r", nullptr);
    f.provider->configure("projectRelative", Paths{"vendor"});
    f.workers.runAll();
    EXPECT_EQ(f.git.listings(), 2);
    f.provider->index("/r");
    EXPECT_EQ(f.git.listings(), 3) << "the rebuild of the old configuration was not stored";
    f.clock.advance(31);
    f.provider->index("/r");
    EXPECT_EQ(f.workers.pendingCount(), 1u) << "the root can be revalidated again";
}

TEST(FilePathProviderTest, InsertionModeAloneKeepsTheCache) {
    Fixture f;
    EXPECT_EQ(f.provider->search("main", "/r", false)[0].snippet->expansion, "src/main.c");
    f.provider->configure("filenameOnly", std::nullopt);
    EXPECT_EQ(f.provider->search("main", "/r", false)[0].snippet->expansion, "main.c");
    EXPECT_EQ(f.git.listings(), 1);
    f.provider->configure("FilenameOnly", std::nullopt);
    EXPECT_EQ(f.provider->insertionMode(), "projectRelative");
}

TEST(FilePathProviderTest, ConcurrentSearchesOfAColdRootShareOneBuild) {
    Fixture f;
    test::LogCapture log;
    f.git.hold();
    auto first = std::async(std::launch::async, [&] { return f.provider->search("main", "/r", false); });
    f.git.waitForListings(1);
    auto second = std::async(std::launch::async, [&] { return f.provider->search("readme", "/r", false); });
    auto warm = std::async(std::launch::async, [&] { f.provider->prewarm("/r"); });
    warm.get();
    f.git.release();
    EXPECT_EQ(first.get().size(), 1u);
    EXPECT_EQ(second.get().size(), 1u);
    EXPECT_EQ(f.git.listings(), 1);
    EXPECT_EQ(cacheMisses(log), 1);
}

TEST(FilePathProviderTest, FailedBuildLeavesNoRootMarkedAsBuilding) {
    Fixture f;
    f.git.throwNext();
    EXPECT_TRUE(f.provider->search("main", "/r", false).empty());
    EXPECT_FALSE(f.provider->isIndexTruncated("/r"));
    EXPECT_EQ(f.provider->search("main", "/r", false).size(), 1u);
    EXPECT_EQ(f.git.listings(), 2);
}

TEST(FilePathProviderTest, RecentListsForTheEmptyQueryAndTheBrowser) {
    Fixture f;
    f.git.files = {"a.txt", "b.txt", "kept.txt"};
    f.git.status = Paths{"?? gone-but-uncommitted.txt", " M a.txt"};
    f.git.log = Paths{"deleted.txt", "kept.txt", "a.txt"};
    test::LogCapture log;
    // Without an index nothing is checked against one, and no index is built.
    f.provider->recentTracker().recordSelection("file:a.txt", "/r");
    EXPECT_TRUE(f.provider->recentPaths("/r", 8).empty());
    f.workers.runAll();
    EXPECT_THAT(f.provider->recentPaths("/r", 8),
                ElementsAre("gone-but-uncommitted.txt", "a.txt", "deleted.txt", "kept.txt"));
    EXPECT_EQ(f.git.listings(), 0);
    std::string lines;
    for (const auto& line : log.performanceLines()) {
        lines += line.message + "\n";
    }
    EXPECT_THAT(lines, HasSubstr("indexFiles=-1 results=4"));

    std::vector<std::string> labels;
    for (const auto& result : f.provider->search("", "/r", false)) {
        labels.push_back(result.snippet->label);
    }
    EXPECT_THAT(labels, ElementsAre("gone-but-uncommitted.txt", "a.txt", "kept.txt"));
    EXPECT_THAT(f.provider->recentPaths("/r", 2), ElementsAre("gone-but-uncommitted.txt", "a.txt"));
}

TEST(FilePathProviderTest, ClearingAllCachesSaysSo) {
    Fixture f;
    f.provider->index("/r");
    test::LogCapture log;
    f.provider->clearAllCaches();
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] FilePathProvider: all caches cleared"));
    f.provider->index("/r");
    EXPECT_EQ(f.git.listings(), 2);
}

} // namespace
} // namespace korvane
