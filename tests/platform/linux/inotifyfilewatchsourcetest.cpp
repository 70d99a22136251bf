#include "platform/linux/inotifyfilewatchsource.h"

#include "config/configwatcher.h"
#include "pollloop.h"
#include "support/tempdir.h"
#include "watch/directorywatcher.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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

// What happens to a file that another process holds open, and whether the watch must call it gone.
// The kernel reports such a file deleted only when the holder closes it.
struct HeldFileCase {
    const char* label;
    std::function<void(const fs::path& file)> act;
    bool gone;
};

TEST_F(InotifyFileWatchSourceTest, HeldFileIsGoneExactlyWhenThePathNoLongerNamesIt) {
    const HeldFileCase cases[] = {
        {"replaced by rename",
         [](const fs::path& file) {
             std::ofstream(file.string() + ".tmp") << "{\"a\":1}";
             fs::rename(file.string() + ".tmp", file);
         },
         true},
        {"unlinked", [](const fs::path& file) { fs::remove(file); }, true},
        {"permissions changed",
         [](const fs::path& file) { fs::permissions(file, fs::perms::owner_exec, fs::perm_options::add); },
         false},
        {"second link removed",
         [](const fs::path& file) {
             fs::create_hard_link(file, file.string() + ".link");
             fs::remove(file.string() + ".link");
         },
         false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.label);
        const auto file = dir.write("package.json", "{}");
        std::vector<FileWatchEvent> events;
        const auto fileWatch = watch(file, fileEvents, events);
        std::ifstream holder(file);

        testCase.act(file);
        if (testCase.gone) {
            EXPECT_TRUE(loop.runUntil([&] { return contains(events, FileEvent::remove); }, timeout));
        } else {
            // Events come in order: once the write is in, a removal would have been seen before it.
            append(file, " ");
            EXPECT_TRUE(loop.runUntil([&] { return contains(events, FileEvent::write); }, timeout));
            EXPECT_FALSE(contains(events, FileEvent::remove));
        }
        fs::remove(file);
    }
}

TEST_F(InotifyFileWatchSourceTest, DirectoryWatcherFollowsAHeldFileThroughAnAtomicSave) {
    const auto file = dir.write("package.json", "{}");
    const auto watcher = DirectoryWatcher::create(file.string(), 0.05, loop, source);
    int changes = 0;
    watcher->onChange = [&] { ++changes; };
    watcher->start();

    std::ifstream holder(file);
    dir.write("package.json.tmp", "{\"scripts\":{}}");
    fs::rename(dir.path() / "package.json.tmp", file);
    EXPECT_TRUE(loop.runUntil([&] { return changes == 1; }, timeout)) << "the save is seen while held";

    append(file, " ");
    EXPECT_TRUE(loop.runUntil([&] { return changes == 2; }, timeout)) << "the saved file is watched";
}

TEST_F(InotifyFileWatchSourceTest, ConfigWatcherFollowsAHeldSymlinkTargetThroughAnAtomicSave) {
    // The configuration is a link into a folder of its own; that folder is not watched.
    const auto target = dir.write("dotfiles/config.json", "{}");
    fs::create_directories(dir.path() / "korvane");
    fs::create_symlink(target, dir.path() / "korvane" / "config.json");
    const auto watcher = ConfigWatcher::create((dir.path() / "korvane").string(), loop, source);
    int changes = 0;
    watcher->onChange = [&] { ++changes; };
    watcher->start();

    std::ifstream holder(target);
    dir.write("dotfiles/config.json.tmp", "{\"trigger\":\"::\"}");
    fs::rename(dir.path() / "dotfiles" / "config.json.tmp", target);
    EXPECT_TRUE(loop.runUntil([&] { return changes == 1; }, timeout)) << "the save is seen while held";

    append(target, " ");
    EXPECT_TRUE(loop.runUntil([&] { return changes == 2; }, timeout)) << "the new target is watched";
}

TEST_F(InotifyFileWatchSourceTest, ConfigWatcherSeesTheFolderDeletedAndMadeAgain) {
    const auto folder = dir.path() / "korvane";
    const auto file = dir.write("korvane/config.json", "{}");
    const auto watcher = ConfigWatcher::create(folder.string(), loop, source);
    int changes = 0;
    watcher->onChange = [&] { ++changes; };
    watcher->start();

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        const int before = changes;
        fs::remove_all(folder);
        ASSERT_TRUE(loop.runUntil([&] { return changes == before + 1; }, timeout));
        // Long enough for the file's own re-open attempts to have given up.
        loop.runFor(0.6);

        dir.write("korvane/config.json", "{\"trigger\":\"::\"}");
        ASSERT_TRUE(loop.runUntil([&] { return changes == before + 2; }, timeout)) << "the new file is seen";
        append(file, " ");
        ASSERT_TRUE(loop.runUntil([&] { return changes == before + 3; }, timeout)) << "and written in place";
    }
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
