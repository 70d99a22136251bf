#include "registry/historystore.h"

#include "base/clock.h"
#include "platform/fake/manualscheduler.h"
#include "platform/fake/manualserialexecutor.h"
#include "registry/isodate.h"
#include "registry/sectionorder.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Passes main-thread work to a ManualScheduler but keeps background jobs until the test releases
// them, so a file read can be made to finish after any number of main-thread events.
class HoldingScheduler final : public Scheduler {
public:
    explicit HoldingScheduler(ManualScheduler& inner)
        : inner_(inner) {}

    void post(Task task) override { inner_.post(std::move(task)); }
    CancellationToken postAfter(double seconds, Task task) override {
        return inner_.postAfter(seconds, std::move(task));
    }
    CancellationToken runInBackground(TaskPriority, Job job) override {
        CancellationToken token;
        held_.emplace_back(std::move(job), token);
        return token;
    }
    CancellationToken watchReadable(int fd, Task onReadable) override {
        return inner_.watchReadable(fd, std::move(onReadable));
    }

    void releaseJobs() {
        auto jobs = std::move(held_);
        held_.clear();
        for (auto& [job, token] : jobs) {
            if (!token.isCancelled()) {
                job(token);
            }
        }
    }

private:
    ManualScheduler& inner_;
    std::vector<std::pair<Job, CancellationToken>> held_;
};

WallSeconds date(const char* text) {
    return parseIsoDate(text).value();
}

class HistoryStoreTest : public testing::Test {
protected:
    HistoryStoreTest() { manual.attachClock(&clock); }

    fs::path historyFile() const { return dir.path() / "history.json"; }
    fs::path badFile() const { return dir.path() / "history.json.bad"; }
    void writeHistory(const std::string& text) const { dir.write("history.json", text); }
    UsageHistory historyOnDisk() const { return UsageHistory::decode(test::readFile(historyFile())).value(); }

    // A store whose load has come back.
    std::shared_ptr<HistoryStore> loadedStore() {
        auto store = HistoryStore::create(scheduler, clock, dir.path());
        store->load();
        scheduler.releaseJobs();
        manual.runUntilIdle();
        return store;
    }

    test::TempDir dir;
    FakeClock clock{date("2026-01-08T12:00:00Z")};
    ManualScheduler manual;
    HoldingScheduler scheduler{manual};
};

TEST_F(HistoryStoreTest, ScoresDecayWithAnEFoldingTimeOfSevenDays) {
    const auto now = date("2026-01-08T12:00:00Z");
    struct Case {
        std::int64_t count;
        double ageDays;
        double expected;
    };
    const Case cases[] = {
        {1, 0, 1.0},
        {10, 7, 10 * std::exp(-1.0)}, // about 3.68
        {1, 1, std::exp(-1.0 / 7)},   // about 0.867
        {4, 14, 4 * std::exp(-2.0)},
        {1, -7, std::exp(1.0)}, // used "in the future" after a clock change
        {0, 3, 0.0},
    };
    for (const auto& c : cases) {
        const auto used = now - std::chrono::seconds(static_cast<std::int64_t>(c.ageDays * 86400));
        EXPECT_NEAR(HistoryStore::score({c.count, used}, now), c.expected, 1e-12)
            << c.count << " " << c.ageDays;
    }
}

TEST_F(HistoryStoreTest, LoadFillsTheScoreCacheAndLastUseDates) {
    writeHistory(R"({"version": 1, "entries": {
        "manual:Old": {"count": 10, "last_used": "2026-01-01T12:00:00Z"},
        "file:src/A.c": {"count": 1, "last_used": "2026-01-08T12:00:00Z"}}})");
    auto store = HistoryStore::create(scheduler, clock, dir.path());
    store->load();
    EXPECT_EQ(store->frecencyScore("manual:Old"), 0.0) << "nothing is known before the read comes back";

    scheduler.releaseJobs();
    manual.runUntilIdle();
    EXPECT_NEAR(store->frecencyScore("manual:Old"), 3.679, 1e-3);
    EXPECT_DOUBLE_EQ(store->frecencyScore("file:src/A.c"), 1.0);
    EXPECT_EQ(store->frecencyScore("manual:old"), 0.0);
    EXPECT_EQ(store->lastUsedDate("manual:Old"), date("2026-01-01T12:00:00Z"));
    EXPECT_FALSE(store->lastUsedDate("never"));
    EXPECT_FALSE(store->isDirty());
}

TEST_F(HistoryStoreTest, ABurstOfUsesIsWrittenOnceAfterTheQuietPeriod) {
    auto store = loadedStore();
    store->recordUsage("manual:sig");
    manual.advance(0.3);
    store->recordUsage("manual:sig");
    store->recordUsage("git:branch:main");
    manual.advance(0.49);
    EXPECT_FALSE(fs::exists(historyFile()));

    manual.advance(0.02);
    const auto written = historyOnDisk();
    EXPECT_EQ(written.entries.at("manual:sig"), (UsageEntry{2, date("2026-01-08T12:00:00Z")}));
    EXPECT_EQ(written.entries.at("git:branch:main").count, 1);
    EXPECT_FALSE(store->isDirty());

    fs::remove(historyFile());
    manual.advance(10);
    EXPECT_FALSE(fs::exists(historyFile())) << "a second write after the burst";
}

TEST_F(HistoryStoreTest, UsesRecordedDuringTheLoadAreMergedAndNoSaveRunsBeforeIt) {
    const std::string original = R"({"version": 3, "entries": {
        "manual:a": {"count": 5, "last_used": "2026-01-01T00:00:00Z"},
        "manual:b": {"count": 2, "last_used": "2026-01-02T00:00:00Z"}}})";
    writeHistory(original);
    auto store = HistoryStore::create(scheduler, clock, dir.path());
    store->load();

    store->recordUsage("manual:a");
    store->recordUsage("manual:c");
    manual.advance(5);
    EXPECT_EQ(test::readFile(historyFile()), original) << "saved over a file that was not read yet";
    EXPECT_TRUE(store->isDirty());

    scheduler.releaseJobs();
    manual.runUntilIdle();
    const auto& entries = store->history().entries;
    EXPECT_EQ(store->history().version, 3);
    EXPECT_EQ(entries.at("manual:a"), (UsageEntry{6, date("2026-01-08T12:00:00Z")}));
    EXPECT_EQ(entries.at("manual:b").count, 2);
    EXPECT_EQ(entries.at("manual:c").count, 1);
    EXPECT_NEAR(store->frecencyScore("manual:a"), 6 * std::exp(-5.0 / 86400 / 7), 1e-12);

    manual.advance(HistoryStore::saveDelay);
    EXPECT_EQ(historyOnDisk(), store->history());
}

TEST_F(HistoryStoreTest, FlushBeforeTheLoadReturnsReadsTheFileFirst) {
    writeHistory(
        R"({"version": 1, "entries": {"manual:a": {"count": 5, "last_used": "2026-01-01T00:00:00Z"}}})");
    auto store = HistoryStore::create(scheduler, clock, dir.path());
    store->load();
    store->recordUsage("manual:a");
    store->flush();
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 6);

    // The background read that comes back late is dropped rather than merged a second time.
    scheduler.releaseJobs();
    manual.advance(5);
    EXPECT_EQ(store->history().entries.at("manual:a").count, 6);
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 6);
}

TEST_F(HistoryStoreTest, AnUndecodableFileIsKeptAsideBeforeItIsReplaced) {
    const std::string cases[] = {
        "{ not json",
        R"({"entries": {}})",
        R"({"version": 1, "entries": {"a": {"count": 1, "last_used": 1767323045}}})",
    };
    for (const auto& original : cases) {
        fs::remove(badFile());
        writeHistory(original);
        auto store = loadedStore();
        EXPECT_TRUE(store->history().entries.empty());
        manual.advance(5);
        EXPECT_EQ(test::readFile(historyFile()), original) << "touched without a use";
        EXPECT_FALSE(fs::exists(badFile()));

        store->recordUsage("manual:new");
        manual.advance(HistoryStore::saveDelay);
        EXPECT_EQ(test::readFile(badFile()), original);
        EXPECT_EQ(historyOnDisk().entries.size(), 1u);

        // Once set aside, later saves leave the kept copy alone.
        fs::remove(badFile());
        store->recordUsage("manual:new");
        manual.advance(HistoryStore::saveDelay);
        EXPECT_FALSE(fs::exists(badFile()));
        EXPECT_EQ(historyOnDisk().entries.at("manual:new").count, 2);
    }
}

// One unreadable date costs its own entry only, but the file as read is kept before the first save
// that leaves the entry out, and the loss is said once.
TEST_F(HistoryStoreTest, EntriesWithUnreadableDatesAreDroppedAndTheFileIsKeptAsRead) {
    const std::string original = R"({"version": 1, "entries": {
        "manual:a": {"count": 5, "last_used": "2026-01-01T00:00:00Z"},
        "manual:odd": {"count": 4, "last_used": "2026-02-30T00:00:00Z"},
        "manual:fraction": {"count": 2, "last_used": "2026-01-01T00:00:00.5Z"}}})";
    writeHistory(original);
    test::LogCapture log;
    auto store = loadedStore();
    EXPECT_EQ(store->history().entries.size(), 1u);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("[Korvane] Usage history: dropped 2 entries with an unreadable date", 0),
              0u)
        << log.lines()[0];
    manual.advance(5);
    EXPECT_EQ(test::readFile(historyFile()), original) << "touched without a use";

    store->recordUsage("manual:a");
    manual.advance(HistoryStore::saveDelay);
    EXPECT_EQ(test::readFile(badFile()), original);
    EXPECT_EQ(historyOnDisk().entries.size(), 1u);
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 6);
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST_F(HistoryStoreTest, ASymlinkedUndecodableFileKeepsItsLink) {
    const auto target = dir.write("dotfiles/history.json", "garbage");
    fs::create_symlink(target, historyFile());
    auto store = loadedStore();
    store->recordUsage("manual:a");
    manual.advance(HistoryStore::saveDelay);

    EXPECT_TRUE(fs::is_symlink(historyFile()));
    EXPECT_EQ(test::readFile(badFile()), "garbage");
    EXPECT_EQ(UsageHistory::decode(test::readFile(target)).value().entries.size(), 1u);
}

TEST_F(HistoryStoreTest, AFileThatCannotBeReadIsMovedAsideNotOverwritten) {
    // A FIFO must not block the read, and an oversized file is not loaded whole.
    ASSERT_EQ(::mkfifo(historyFile().c_str(), 0600), 0);
    {
        auto store = loadedStore();
        store->recordUsage("manual:a");
        manual.advance(HistoryStore::saveDelay);
        EXPECT_TRUE(fs::is_fifo(badFile()));
        EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 1);
    }
    fs::remove(badFile());
    fs::remove(historyFile());
    fs::resize_file(dir.write("history.json", "{"), HistoryStore::readLimit + 1);
    {
        auto store = loadedStore();
        store->recordUsage("manual:a");
        manual.advance(HistoryStore::saveDelay);
        EXPECT_EQ(fs::file_size(badFile()), HistoryStore::readLimit + 1);
        EXPECT_EQ(historyOnDisk().entries.size(), 1u);
    }
}

TEST_F(HistoryStoreTest, HugeCountsAndFarFutureDatesGiveFiniteScores) {
    writeHistory(R"({"version": 1, "entries": {
        "max": {"count": 9223372036854775807, "last_used": "2026-01-08T12:00:00Z"},
        "future": {"count": 3, "last_used": "9999-12-31T23:59:59Z"},
        "future-zero": {"count": 0, "last_used": "9999-12-31T23:59:59Z"},
        "future-negative": {"count": -2, "last_used": "9999-12-31T23:59:59Z"},
        "ancient": {"count": 9223372036854775807, "last_used": "0001-01-01T00:00:00Z"}}})");
    auto store = loadedStore();
    for (const auto& [id, score] : store->scoreCache()) {
        EXPECT_TRUE(std::isfinite(score)) << id;
    }
    EXPECT_EQ(store->frecencyScore("future"), std::numeric_limits<double>::max());
    EXPECT_EQ(store->frecencyScore("future-zero"), 0.0);
    EXPECT_EQ(store->frecencyScore("future-negative"), std::numeric_limits<double>::lowest());
    EXPECT_EQ(store->frecencyScore("ancient"), 0.0);

    store->recordUsage("max");
    EXPECT_EQ(store->history().entries.at("max").count, std::numeric_limits<std::int64_t>::max());
    EXPECT_TRUE(std::isfinite(store->frecencyScore("max")));
}

TEST_F(HistoryStoreTest, AncientDatesRankAsOldAndAreWrittenBackAsRead) {
    writeHistory(R"({"version": 1, "entries": {
        "ancient": {"count": 50, "last_used": "0001-01-01T00:00:00Z"},
        "before-range": {"count": 50, "last_used": "1500-06-01T00:00:00Z"},
        "recent": {"count": 1, "last_used": "2026-01-08T11:59:00Z"},
        "week": {"count": 2, "last_used": "2026-01-01T12:00:00Z"}}})");
    auto store = loadedStore();
    EXPECT_EQ(store->frecencyScore("ancient"), 0.0);
    const auto ancient = store->lastUsedDate("ancient");
    ASSERT_TRUE(ancient);
    EXPECT_GT(secondsBetween(*ancient, clock.now()), 300.0 * 365 * 86400);

    // The browser's order: the ancient item is neither recent nor well scored.
    const SectionOrder order([&](const std::string& id) { return store->frecencyScore(id); },
                             [&](const std::string& id) { return store->lastUsedDate(id); }, clock.now());
    std::vector<Snippet> items(4);
    items[0].id = "ancient";
    items[1].id = "before-range";
    items[2].id = "week";
    items[3].id = "recent";
    order.sort(items, [](const Snippet& snippet) -> const Snippet& { return snippet; });
    EXPECT_EQ(items[0].id, "recent");
    EXPECT_EQ(items[1].id, "week");

    store->recordUsage("recent");
    manual.advance(HistoryStore::saveDelay);
    const auto text = test::readFile(historyFile());
    EXPECT_NE(text.find(R"("last_used": "0001-01-01T00:00:00Z")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("last_used": "1500-06-01T00:00:00Z")"), std::string::npos) << text;
}

TEST_F(HistoryStoreTest, AHistoryLargerThanTheOldReaderTookIsReadAndTrimmedToWhatItCanRead) {
    // More than 16 MiB, as an unbounded writer produced, with more ids than the store keeps. Written
    // by hand and padded with blanks: the debug build's JSON reader takes seconds for 16 MiB of ids.
    std::string text = R"({"version": 1, "entries": {)" + std::string(33u << 19, ' ');
    for (int i = 0; i < 10050; ++i) {
        text += fmt::format(R"("file:src/{}.c": {{"count": {}, "last_used": "{}"}},)", i, 1 + i % 50,
                            formatIsoDate(date("2026-01-08T12:00:00Z") - std::chrono::minutes(i)));
    }
    text += R"("file:)" + std::string(16u << 10, 'x') +
            R"(": {"count": 1, "last_used": "2026-01-01T00:00:00Z"}}})";
    ASSERT_GT(text.size(), 16u << 20);
    writeHistory(text);

    auto store = loadedStore();
    EXPECT_EQ(store->history().entries.size(), 10051u);
    store->recordUsage("manual:new");
    manual.advance(HistoryStore::saveDelay);
    EXPECT_FALSE(fs::exists(badFile()));
    EXPECT_LE(fs::file_size(historyFile()), HistoryStore::maxFileBytes);

    const auto& kept = store->history().entries;
    EXPECT_EQ(kept.size(), HistoryStore::maxEntries);
    EXPECT_TRUE(kept.contains("manual:new"));
    EXPECT_TRUE(kept.contains("file:src/49.c")) << "count 50, 49 minutes ago";
    EXPECT_FALSE(kept.contains("file:src/10000.c")) << "count 1, a week ago";
    EXPECT_EQ(store->frecencyScore("file:src/10000.c"), 0.0);
    EXPECT_FALSE(store->lastUsedDate("file:src/10000.c"));

    // What was written is read back whole by the next start.
    auto next = loadedStore();
    EXPECT_EQ(next->history(), store->history());
}

// Lowers the process's descriptor limit so that the next open() fails with EMFILE, and restores it.
class DescriptorLimit {
public:
    DescriptorLimit() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowestFree);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

// Takes a store in another directory through load, use and save, so that the sanitizers have checked
// each call once: a first check may need a descriptor, which the tests below take away.
void exerciseOnce(HoldingScheduler& scheduler, ManualScheduler& manual, const Clock& clock) {
    const test::TempDir other;
    auto store = HistoryStore::create(scheduler, clock, other.path());
    store->load();
    scheduler.releaseJobs();
    manual.runUntilIdle();
    store->recordUsage("manual:a");
    manual.advance(HistoryStore::saveDelay);
    store->recordUsage("manual:a");
    store->flush();
}

TEST_F(HistoryStoreTest, AReadThatFailsForAPassingReasonIsRetriedAndNeverOverwritten) {
    exerciseOnce(scheduler, manual, clock);
    const std::string original =
        R"({"version": 1, "entries": {"manual:a": {"count": 5, "last_used": "2026-01-01T00:00:00Z"}}})";
    writeHistory(original);
    auto store = HistoryStore::create(scheduler, clock, dir.path());
    store->load();
    {
        const DescriptorLimit exhausted;
        scheduler.releaseJobs();
    }
    store->recordUsage("manual:b");
    manual.advance(HistoryStore::saveDelay);
    EXPECT_EQ(test::readFile(historyFile()), original) << "replaced a file that could not be read";
    EXPECT_FALSE(fs::exists(badFile()));

    // The retry a second later finds the descriptors back.
    manual.advance(1.0);
    scheduler.releaseJobs();
    manual.runUntilIdle();
    EXPECT_EQ(store->history().entries.at("manual:a").count, 5);
    manual.advance(HistoryStore::saveDelay);
    EXPECT_EQ(historyOnDisk().entries.size(), 2u);
    EXPECT_FALSE(fs::exists(badFile()));
}

TEST_F(HistoryStoreTest, AFileThatStaysUnreadableIsKeptThroughQuit) {
    exerciseOnce(scheduler, manual, clock);
    const std::string original =
        R"({"version": 1, "entries": {"manual:a": {"count": 5, "last_used": "2026-01-01T00:00:00Z"}}})";
    writeHistory(original);
    {
        const DescriptorLimit exhausted;
        auto store = HistoryStore::create(scheduler, clock, dir.path());
        store->load();
        for (int attempt = 0; attempt < HistoryStore::maxLoadAttempts; ++attempt) {
            scheduler.releaseJobs();
            manual.advance(60);
        }
        store->recordUsage("manual:b");
        scheduler.releaseJobs();
        manual.advance(60);
        store->flush();
        EXPECT_TRUE(store->isDirty());
    }
    EXPECT_EQ(test::readFile(historyFile()), original);
    EXPECT_FALSE(fs::exists(badFile()));
}

TEST_F(HistoryStoreTest, PendingUsesAreWrittenOnFlushAndOnDestruction) {
    auto store = loadedStore();
    store->flush();
    EXPECT_FALSE(fs::exists(historyFile())) << "nothing changed, nothing to write";

    store->recordUsage("manual:a");
    store->flush();
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 1);
    EXPECT_FALSE(store->isDirty());

    store->recordUsage("manual:a");
    store.reset();
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 2);
    manual.advance(5); // the cancelled save of the destroyed store does nothing
}

TEST_F(HistoryStoreTest, AMissingConfigurationDirectoryIsNotCreatedAndTheFailureIsSaidOnce) {
    test::LogCapture log;
    const auto missing = dir.path() / "absent";
    auto store = HistoryStore::create(scheduler, clock, missing);
    store->load();
    scheduler.releaseJobs();
    for (int use = 0; use < 3; ++use) {
        store->recordUsage("manual:a");
        manual.advance(HistoryStore::saveDelay);
    }
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(store->isDirty()) << "the uses are still to be written";
    EXPECT_EQ(store->history().entries.at("manual:a").count, 3);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("[Korvane] Could not save usage history: ", 0), 0u) << log.lines()[0];
    EXPECT_NE(log.lines()[0].find("No such file or directory"), std::string::npos) << log.lines()[0];
}

// A save that could not write keeps the change pending, so that the quit's flush writes it once the
// folder is there, on the main thread or on the save queue alike.
TEST_F(HistoryStoreTest, AFailedSaveIsWrittenByTheFlushAtQuit) {
    for (const bool queued : {false, true}) {
        const auto folder = dir.path() / (queued ? "queued" : "direct");
        const auto queue = std::make_shared<ManualSerialExecutor>();
        auto store = HistoryStore::create(scheduler, clock, folder, queued ? queue : nullptr);
        store->load();
        scheduler.releaseJobs();
        manual.runUntilIdle();
        store->recordUsage("manual:a");
        manual.advance(HistoryStore::saveDelay);
        queue->runAll();
        manual.runUntilIdle();
        EXPECT_TRUE(store->isDirty()) << queued;

        fs::create_directory(folder);
        store->flush();
        EXPECT_FALSE(store->isDirty()) << queued;
        EXPECT_EQ(UsageHistory::decode(test::readFile(folder / "history.json"))
                      .value()
                      .entries.at("manual:a")
                      .count,
                  1)
            << queued;
    }
}

// Up to 8 MiB of JSON and two fsyncs stay off the main thread; the quit's flush writes there, and a
// save still queued behind it cannot put older uses back.
TEST_F(HistoryStoreTest, SavesRunOnTheQueueAndNoQueuedSaveWritesOverTheFlush) {
    auto queue = std::make_shared<ManualSerialExecutor>();
    auto store = HistoryStore::create(scheduler, clock, dir.path(), queue);
    store->load();
    scheduler.releaseJobs();
    manual.runUntilIdle();
    store->recordUsage("manual:a");
    manual.advance(HistoryStore::saveDelay);
    EXPECT_FALSE(fs::exists(historyFile())) << "the main thread only queues the save";
    queue->runAll();
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 1);

    store->recordUsage("manual:a");
    manual.advance(HistoryStore::saveDelay);
    store->recordUsage("manual:a");
    store->flush();
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 3);
    queue->runAll();
    EXPECT_EQ(historyOnDisk().entries.at("manual:a").count, 3) << "the older queued save is dropped";
    EXPECT_FALSE(store->isDirty());
}

} // namespace
} // namespace korvane
