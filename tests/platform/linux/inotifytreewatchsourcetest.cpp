// The inotify watch of a project's folders against the stamp it stands in for: what moves the stamp is
// seen by the watch and what leaves the stamp as it is mostly not; lost events count as a change, and
// a project needing more watches than allowed is not watched.
#include "platform/linux/inotifytreewatchsource.h"

#include "files/projectchangewatch.h"
#include "files/projectstatestamp.h"
#include "support/tempdir.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvane {
namespace {

// A listed tree whose times lie an hour back, so that any change moves them; "gone/old.md" is listed
// but its folder is missing, as when a folder of tracked files was removed and not yet committed.
class Tree {
public:
    Tree() {
        for (const char* path : {"README.md", ".gitignore", "src/main.c", "src/lib/deep/util.c"}) {
            dir.write(path, "x\n");
        }
        const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            std::filesystem::last_write_time(entry.path(), past);
        }
        std::filesystem::last_write_time(dir.path(), past);
    }

    std::string root() const { return dir.path().string(); }
    std::uint64_t stamp() const {
        return ProjectStateStamp::take(root(), paths, std::chrono::system_clock::now()).value;
    }
    bool sh(const std::string& command) const {
        return std::system(("cd '" + root() + "' && " + command).c_str()) == 0;
    }

    test::TempDir dir;
    const PathList paths{std::vector<std::string>{".gitignore", "README.md", "gone/old.md",
                                                  "src/lib/deep/util.c", "src/main.c"}};
};

struct Case {
    const char* what;
    const char* command;
    bool changesStamp;
};

const Case cases[] = {
    {"nothing", "true", false},
    {"a listed file written", "echo y >> src/main.c", false},
    {"a listed file's times set", "touch src/lib/deep/util.c", false},
    {"a file made in a deep folder", "echo x > src/lib/deep/fresh.c", true},
    {"a folder made in the root", "mkdir notes", true},
    {"a file removed", "rm src/main.c", true},
    {"a file renamed", "mv src/main.c src/main2.c", true},
    {"a file linked into a folder", "ln README.md src/lib/README.md", true},
    {".gitignore written in place", "echo '*.o' >> .gitignore", true},
    {".gitignore replaced", "echo '*.o' > x && mv x .gitignore", true},
    {"a folder's own times set", "touch src/lib", true},
    {"a missing listed folder made", "mkdir gone", true},
    {"a folder renamed away", "mv src/lib src/lib2", true},
};

TEST(InotifyTreeWatchSourceTest, SeesWhatMovesTheStamp) {
    InotifyTreeWatchSource source;
    for (const auto& change : cases) {
        SCOPED_TRACE(change.what);
        Tree tree;
        const auto watch =
            ProjectChangeWatch::arm(source, tree.root(), ProjectStateStamp::treeEntries(tree.paths));
        ASSERT_NE(watch, nullptr);
        const std::uint64_t before = tree.stamp();
        ASSERT_TRUE(tree.sh(change.command));
        ASSERT_EQ(tree.stamp() != before, change.changesStamp) << "the stamp itself";
        EXPECT_EQ(watch->changed(), change.changesStamp);
        EXPECT_EQ(watch->changed(), change.changesStamp) << "asked again";
    }
}

// More attribute changes than the kernel keeps events for: none of them moves the stamp, but what
// else happened meanwhile is lost with them.
TEST(InotifyTreeWatchSourceTest, EventsLostCountAsAChange) {
    InotifyTreeWatchSource source;
    Tree tree;
    const auto watch =
        ProjectChangeWatch::arm(source, tree.root(), ProjectStateStamp::treeEntries(tree.paths));
    ASSERT_NE(watch, nullptr);
    int queued = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
    const std::string files[] = {tree.root() + "/README.md", tree.root() + "/src/main.c"};
    const std::uint64_t before = tree.stamp();
    // Alternating between two files, as the kernel folds an event into the same one before it.
    for (int i = 0; i <= queued; ++i) {
        ASSERT_EQ(::utimensat(AT_FDCWD, files[i % 2].c_str(), nullptr, 0), 0);
    }
    ASSERT_EQ(tree.stamp(), before);
    EXPECT_TRUE(watch->changed());
}

TEST(InotifyTreeWatchSourceTest, AProjectNeedingMoreWatchesThanAllowedIsNotWatched) {
    InotifyTreeWatchSource source;
    Tree tree;
    // The root, src, src/lib, src/lib/deep, gone and the ".gitignore".
    EXPECT_EQ(ProjectChangeWatch::arm(source, tree.root(), ProjectStateStamp::treeEntries(tree.paths), 5),
              nullptr);
    EXPECT_NE(ProjectChangeWatch::arm(source, tree.root(), ProjectStateStamp::treeEntries(tree.paths), 6),
              nullptr);
}

} // namespace
} // namespace korvane
