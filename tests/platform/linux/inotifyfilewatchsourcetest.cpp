#include "platform/linux/inotifyfilewatchsource.h"

#include "config/configwatcher.h"
#include "pollloop.h"
#include "support/tempdir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

constexpr double timeout = 3.0;
constexpr FileEvent fileEvents = FileEvent::write | FileEvent::remove | FileEvent::rename;

bool contains(const std::vector<FileWatchEvent>& events, FileEvent kind, const std::string& name = {}) {
    return std::find(events.begin(), events.end(), FileWatchEvent{kind, name}) != events.end();
}

void append(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::app) << text;
}

class InotifyFileWatchSourceTest : public testing::Test {
protected:
    std::unique_ptr<FileWatch> watch(const fs::path& path, FileEvent mask,
                                     std::vector<FileWatchEvent>& into) {
        auto opened = source->open(path.string(), mask, [&into](const auto& events) {
            into.insert(into.end(), events.begin(), events.end());
        });
        EXPECT_TRUE(opened.has_value()) << path;
        return opened ? std::move(*opened) : nullptr;
    }

    test::PollLoop loop;
    test::TempDir dir;
    std::shared_ptr<InotifyFileWatchSource> source = InotifyFileWatchSource::create(loop).value();
};

TEST_F(InotifyFileWatchSourceTest, ReportsFileChangesAndNamedDirectoryEntries) {
    const auto file = dir.write("config.json", "{}");
    std::vector<FileWatchEvent> ofFile;
    std::vector<FileWatchEvent> ofDir;
    const auto fileWatch = watch(file, fileEvents, ofFile);
    const auto dirWatch = watch(dir.path(), FileEvent::write, ofDir);

    append(file, " ");
    EXPECT_TRUE(loop.runUntil([&] { return contains(ofFile, FileEvent::write); }, timeout));

    dir.write("history.json", "[]");
    EXPECT_TRUE(loop.runUntil([&] { return contains(ofDir, FileEvent::write, "history.json"); }, timeout));
    EXPECT_FALSE(contains(ofDir, FileEvent::write, "config.json"))
        << "a write into an entry is not an entry change";

    fs::remove(file);
    EXPECT_TRUE(loop.runUntil([&] { return contains(ofFile, FileEvent::remove); }, timeout));
    EXPECT_TRUE(loop.runUntil([&] { return contains(ofDir, FileEvent::write, "config.json"); }, timeout));
}

TEST_F(InotifyFileWatchSourceTest, RenamingANewFileOverAWatchedOneReportsTheOldOneGone) {
    const auto file = dir.write("config.json", "{}");
    std::vector<FileWatchEvent> ofFile;
    const auto fileWatch = watch(file, fileEvents, ofFile);
    const auto temporary = dir.write("config.json.tmp", "{\"a\":1}");
    fs::rename(temporary, file);
    EXPECT_TRUE(loop.runUntil([&] { return contains(ofFile, FileEvent::remove); }, timeout));
}

TEST_F(InotifyFileWatchSourceTest, WatchesOfTheSameFileAreIndependent) {
    const auto file = dir.write("package.json", "{}");
    std::vector<FileWatchEvent> first;
    std::vector<FileWatchEvent> second;
    auto firstWatch = watch(file, fileEvents, first);
    const auto secondWatch = watch(file, FileEvent::remove, second);

    append(file, " ");
    EXPECT_TRUE(loop.runUntil([&] { return !first.empty(); }, timeout));
    loop.runFor(0.1);
    EXPECT_TRUE(second.empty()) << "the second asked for deletes only";

    firstWatch.reset();
    first.clear();
    fs::remove(file);
    EXPECT_TRUE(loop.runUntil([&] { return contains(second, FileEvent::remove); }, timeout));
    EXPECT_TRUE(first.empty());
}

TEST_F(InotifyFileWatchSourceTest, OpeningAMissingPathFails) {
    const auto opened = source->open((dir.path() / "missing").string(), fileEvents, [](const auto&) {});
    ASSERT_FALSE(opened.has_value());
    EXPECT_EQ(opened.error(), std::errc::no_such_file_or_directory);
}

TEST_F(InotifyFileWatchSourceTest, ConfigWatcherFollowsEditsOnDisk) {
    const auto file = dir.write("config.json", "{}");
    const auto watcher = ConfigWatcher::create(dir.path().string(), loop, source);
    int changes = 0;
    watcher->onChange = [&] { ++changes; };
    watcher->start();

    append(file, " ");
    EXPECT_TRUE(loop.runUntil([&] { return changes == 1; }, timeout));

    // A reader still holding the old file keeps the kernel from reporting it deleted; the new file
    // must be watched all the same.
    std::ifstream reader(file);
    dir.write("config.json.tmp", "{\"a\":1}");
    fs::rename(dir.path() / "config.json.tmp", file);
    EXPECT_TRUE(loop.runUntil([&] { return changes == 2; }, timeout));

    append(file, " ");
    EXPECT_TRUE(loop.runUntil([&] { return changes == 3; }, timeout)) << "the saved file is watched again";

    dir.write("history.json.tmp", "[]");
    fs::rename(dir.path() / "history.json.tmp", dir.path() / "history.json");
    loop.runFor(0.6);
    EXPECT_EQ(changes, 3);
}

} // namespace
} // namespace korvane
