#include "config/configwatcher.h"

#include "platform/fake/manualscheduler.h"
#include "config/projectconfigwatcher.h"
#include "platform/fake/fakefilewatchsource.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace korvane {
namespace {

namespace fs = std::filesystem;

struct WatcherKind {
    const char* label;
    const char* fileName;
    std::shared_ptr<ConfigFileWatcher> (*make)(const std::string& directory, Scheduler&,
                                               std::shared_ptr<FileWatchSource>);
};

std::shared_ptr<ConfigFileWatcher> makeGlobal(const std::string& directory, Scheduler& scheduler,
                                              std::shared_ptr<FileWatchSource> source) {
    return ConfigWatcher::create(directory, scheduler, std::move(source));
}

std::shared_ptr<ConfigFileWatcher> makeProject(const std::string& directory, Scheduler& scheduler,
                                               std::shared_ptr<FileWatchSource> source) {
    return ProjectConfigWatcher::create(directory, scheduler, std::move(source));
}

// Both file watchers behave alike; every case runs against each.
class ConfigFileWatcherTest : public testing::TestWithParam<WatcherKind> {
protected:
    void SetUp() override {
        dir = home.path().string();
        file = (home.path() / GetParam().fileName).string();
    }

    std::shared_ptr<ConfigFileWatcher> startWatcher() {
        auto watcher = GetParam().make(dir, scheduler, source);
        watcher->onChange = [this] {
            ++changes;
            lastChangeAt = scheduler.now();
        };
        watcher->start();
        return watcher;
    }

    void writeFile() { home.write(GetParam().fileName, "{}"); }
    void emitEntry(const std::string& name) { source->emit(dir, FileEvent::write, name); }

    test::TempDir home;
    std::string dir;
    std::string file;
    ManualScheduler scheduler;
    std::shared_ptr<FakeFileWatchSource> source = std::make_shared<FakeFileWatchSource>();
    int changes = 0;
    double lastChangeAt = -1;
};

TEST_P(ConfigFileWatcherTest, BurstOfWritesGivesOneChangeAQuietPeriodAfterTheLast) {
    writeFile();
    const auto watcher = startWatcher();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(source->emit(file, FileEvent::write), 1u);
        scheduler.advance(0.05);
    }
    const double lastWrite = scheduler.now() - 0.05;
    scheduler.advance(0.249);
    EXPECT_EQ(changes, 0);
    scheduler.advance(5.0);
    EXPECT_EQ(changes, 1);
    EXPECT_NEAR(lastChangeAt, lastWrite + 0.3, 1e-9);
}

TEST_P(ConfigFileWatcherTest, AtomicSaveGivesOneChangeAndLaterWritesAreStillSeen) {
    writeFile();
    const auto watcher = startWatcher();

    home.write(std::string(GetParam().fileName) + ".tmp", "{\"a\":1}");
    emitEntry(std::string(GetParam().fileName) + ".tmp");
    fs::rename(file + ".tmp", file);
    emitEntry(GetParam().fileName);
    source->emit(file, FileEvent::remove);
    scheduler.advance(2.0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(source->watchCount(file), 1u);

    EXPECT_EQ(source->emit(file, FileEvent::write), 1u);
    scheduler.advance(1.0);
    EXPECT_EQ(changes, 2);
}

TEST_P(ConfigFileWatcherTest, DeleteThenLateRecreateThenInPlaceWriteAreAllSeen) {
    writeFile();
    const auto watcher = startWatcher();

    fs::remove(file);
    source->emit(file, FileEvent::remove);
    emitEntry(GetParam().fileName);
    scheduler.advance(3.0);
    EXPECT_EQ(changes, 1) << "the re-arm after the delete reports once";
    EXPECT_EQ(source->watchCount(file), 0u);
    EXPECT_EQ(source->openAttempts(file), 5u) << "start, re-arm, three retries";

    writeFile();
    emitEntry(GetParam().fileName);
    scheduler.advance(1.0);
    EXPECT_EQ(changes, 2);

    EXPECT_EQ(source->emit(file, FileEvent::write), 1u);
    scheduler.advance(1.0);
    EXPECT_EQ(changes, 3);
}

TEST_P(ConfigFileWatcherTest, AnOpenFromTheDirectoryAndAPendingRetryHoldOneWatch) {
    const auto watcher = startWatcher();
    scheduler.advance(0.05);
    writeFile();
    emitEntry(GetParam().fileName);
    EXPECT_EQ(source->watchCount(file), 1u);
    scheduler.advance(2.0);
    EXPECT_EQ(source->watchCount(file), 1u);

    // Deleted and back before the re-arm: the directory opens it, the re-arm must not open again.
    source->emit(file, FileEvent::rename);
    emitEntry(GetParam().fileName);
    scheduler.advance(2.0);
    EXPECT_EQ(source->watchCount(file), 1u);
    EXPECT_EQ(source->openAttempts(file), 3u) << "failed start, two opens from the directory";
    EXPECT_EQ(source->emit(file, FileEvent::write), 1u);
}

TEST_P(ConfigFileWatcherTest, OtherEntriesOfTheDirectoryDoNotFire) {
    writeFile();
    home.write("history.json", "[]");
    const auto watcher = startWatcher();
    source->emit(dir, {{FileEvent::write, "history.json.tmp"}, {FileEvent::write, "history.json"}});
    emitEntry("notes.txt");
    scheduler.advance(2.0);
    EXPECT_EQ(changes, 0);
}

TEST_P(ConfigFileWatcherTest, EntryOfAMissingFileDoesNothing) {
    const auto watcher = startWatcher();
    scheduler.advance(2.0);
    emitEntry(GetParam().fileName);
    scheduler.advance(2.0);
    EXPECT_EQ(changes, 0);
}

TEST_P(ConfigFileWatcherTest, UnopenableFileIsRetriedThreeTimesThenLeft) {
    const auto watcher = startWatcher();
    const double expectedAttempts[][2] = {{0.0, 1},   {0.099, 1}, {0.101, 2}, {0.299, 2},
                                          {0.301, 3}, {0.699, 3}, {0.701, 4}};
    double at = 0;
    for (const auto& [time, attempts] : expectedAttempts) {
        scheduler.advance(time - at);
        at = time;
        EXPECT_EQ(source->openAttempts(file), attempts) << "at " << time;
    }
    scheduler.advance(10.0);
    EXPECT_EQ(source->openAttempts(file), 4u);
    EXPECT_EQ(changes, 0);
}

TEST_P(ConfigFileWatcherTest, StopInsideTheQuietPeriodSuppressesTheChange) {
    writeFile();
    const auto watcher = startWatcher();
    source->emit(file, FileEvent::write);
    scheduler.advance(0.1);
    watcher->stop();
    EXPECT_EQ(source->watchCount(), 0u);
    scheduler.advance(2.0);
    EXPECT_EQ(changes, 0);
}

TEST_P(ConfigFileWatcherTest, ReleasedWatcherNeverCallsBack) {
    auto watcher = startWatcher();
    writeFile();
    // A retry, a re-arm and a debounce all pending when the watcher goes.
    emitEntry(GetParam().fileName);
    source->emit(file, FileEvent::remove);
    watcher.reset();
    EXPECT_EQ(source->watchCount(), 0u);
    const auto attempts = source->openAttempts(file);
    scheduler.advance(5.0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(source->openAttempts(file), attempts);
}

TEST_P(ConfigFileWatcherTest, FolderDeletedAndRecreatedIsWatchedAgainEveryRound) {
    const auto folder = home.path() / "korvane";
    const auto inFolder = (folder / GetParam().fileName).string();
    const auto parent = home.path().string();
    home.write(std::string("korvane/") + GetParam().fileName, "{}");
    const auto watcher = GetParam().make(folder.string(), scheduler, source);
    watcher->onChange = [this] { ++changes; };
    watcher->start();

    for (int round = 1; round <= 5; ++round) {
        SCOPED_TRACE(round);
        const int before = changes;
        fs::remove_all(folder);
        source->drop(inFolder);
        source->drop(folder.string());
        source->emit(parent, FileEvent::write, "korvane");
        scheduler.advance(3.0);
        EXPECT_EQ(changes, before + 1) << "the deletion is reported";

        // Back long after the file's own retries gave up: the folder first, then the file in it.
        fs::create_directory(folder);
        source->emit(parent, FileEvent::write, "korvane");
        home.write(std::string("korvane/") + GetParam().fileName, "{}");
        source->emit(folder.string(), FileEvent::write, GetParam().fileName);
        scheduler.advance(1.0);
        EXPECT_EQ(changes, before + 2) << "the new file is seen";
        EXPECT_EQ(source->watchCount(folder.string()), 1u);
        EXPECT_EQ(source->watchCount(parent), 0u) << "the parent is left once the folder is back";

        EXPECT_EQ(source->emit(inFolder, FileEvent::write), 1u);
        scheduler.advance(1.0);
        EXPECT_EQ(changes, before + 3) << "and written in place";
    }
}

TEST_P(ConfigFileWatcherTest, FolderBackWithItsFileBeforeTheParentEventIsReadIsSeen) {
    const auto folder = home.path() / "korvane";
    home.write(std::string("korvane/") + GetParam().fileName, "{}");
    const auto watcher = GetParam().make(folder.string(), scheduler, source);
    watcher->onChange = [this] { ++changes; };
    watcher->start();

    fs::remove_all(folder);
    source->drop((folder / GetParam().fileName).string());
    source->drop(folder.string());
    scheduler.advance(3.0);
    ASSERT_EQ(changes, 1);

    // Both made before the watcher hears of the folder: its own entry event is never seen.
    home.write(std::string("korvane/") + GetParam().fileName, "{}");
    source->emit(home.path().string(), FileEvent::write, "korvane");
    scheduler.advance(1.0);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(source->emit((folder / GetParam().fileName).string(), FileEvent::write), 1u);
}

TEST_P(ConfigFileWatcherTest, FolderMissingWithItsParentIsAwaitedLevelByLevel) {
    const auto outer = home.path() / "outer";
    const auto folder = outer / "korvane";
    const auto watcher = GetParam().make(folder.string(), scheduler, source);
    watcher->onChange = [this] { ++changes; };
    watcher->start();
    EXPECT_EQ(source->watchCount(dir), 1u);

    fs::create_directory(outer);
    source->emit(dir, FileEvent::write, "outer");
    EXPECT_EQ(source->watchCount(dir), 0u);
    EXPECT_EQ(source->watchCount(outer.string()), 1u);

    fs::create_directory(folder);
    source->emit(outer.string(), FileEvent::write, "elsewhere");
    EXPECT_EQ(source->watchCount(folder.string()), 0u) << "another entry is no sign of the folder";
    source->emit(outer.string(), FileEvent::write, "korvane");
    EXPECT_EQ(source->watchCount(outer.string()), 0u);
    EXPECT_EQ(source->watchCount(folder.string()), 1u);

    home.write(std::string("outer/korvane/") + GetParam().fileName, "{}");
    source->emit(folder.string(), FileEvent::write, GetParam().fileName);
    scheduler.advance(1.0);
    EXPECT_EQ(changes, 1);
}

void PrintTo(const WatcherKind& kind, std::ostream* out) {
    *out << kind.label;
}

INSTANTIATE_TEST_SUITE_P(Watchers, ConfigFileWatcherTest,
                         testing::Values(WatcherKind{"global", "config.json", makeGlobal},
                                         WatcherKind{"project", ".korvane.json", makeProject}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ProjectConfigWatcherTest, FactoryMakesWatchersOfTheProjectFile) {
    ManualScheduler scheduler;
    auto source = std::make_shared<FakeFileWatchSource>();
    const auto factory = ProjectConfigWatcher::factory(scheduler, source);
    const auto watcher = factory("/work/project/");
    EXPECT_EQ(watcher->projectRoot(), "/work/project/");
    EXPECT_EQ(watcher->configPath(), "/work/project/.korvane.json");
}

} // namespace
} // namespace korvane
