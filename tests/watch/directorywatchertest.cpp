#include "watch/directorywatcher.h"

#include "platform/fake/manualscheduler.h"
#include "platform/fake/fakefilewatchsource.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace korvane {
namespace {

class DirectoryWatcherTest : public testing::Test {
protected:
    std::shared_ptr<DirectoryWatcher> startWatcher(const std::string& path, double interval) {
        auto watcher = DirectoryWatcher::create(path, interval, scheduler, source);
        watcher->onChange = [this] {
            ++changes;
            lastChangeAt = scheduler.now();
        };
        watcher->start();
        return watcher;
    }

    test::TempDir root;
    std::string path = root.path().string();
    ManualScheduler scheduler;
    std::shared_ptr<FakeFileWatchSource> source = std::make_shared<FakeFileWatchSource>();
    int changes = 0;
    double lastChangeAt = -1;
};

TEST_F(DirectoryWatcherTest, FiresItsOwnQuietPeriodAfterTheLastChange) {
    const auto watcher = startWatcher(path, 1.0);
    source->emit(path, FileEvent::write, "a");
    scheduler.advance(0.6);
    source->emit(path, FileEvent::write, "b");
    scheduler.advance(0.999);
    EXPECT_EQ(changes, 0);
    scheduler.advance(3.0);
    EXPECT_EQ(changes, 1);
    EXPECT_NEAR(lastChangeAt, 1.6, 1e-9);
}

TEST_F(DirectoryWatcherTest, WatchedFileReplacedByRenameIsFollowed) {
    const auto file = root.write("package.json", "{}").string();
    const auto watcher = startWatcher(file, 0.5);
    source->emit(file, FileEvent::rename);
    scheduler.advance(2.0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(source->emit(file, FileEvent::write), 1u);
    scheduler.advance(2.0);
    EXPECT_EQ(changes, 2);
}

TEST_F(DirectoryWatcherTest, StopInsideTheQuietPeriodSuppressesTheChange) {
    const auto watcher = startWatcher(path, 0.5);
    source->emit(path, FileEvent::write, "a");
    scheduler.advance(0.4);
    watcher->stop();
    scheduler.advance(2.0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(source->watchCount(), 0u);
}

TEST_F(DirectoryWatcherTest, ReleasedWatcherNeverCallsBack) {
    auto watcher = startWatcher(path, 0.5);
    source->emit(path, FileEvent::write, "a");
    source->emit(path, FileEvent::remove);
    watcher.reset();
    scheduler.advance(5.0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(source->openAttempts(path), 1u);
}

TEST_F(DirectoryWatcherTest, StopCancelsAPendingRetry) {
    const auto missing = (root.path() / "later").string();
    const auto watcher = startWatcher(missing, 0.5);
    watcher->stop();
    std::filesystem::create_directory(missing);
    scheduler.advance(2.0);
    EXPECT_EQ(source->openAttempts(missing), 1u);
    EXPECT_EQ(source->watchCount(), 0u);
}

} // namespace
} // namespace korvane
