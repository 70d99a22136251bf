#include "gitguard/perprocesspath.h"

#include "support/tempdir.h"

#include <gmock/gmock.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Followed link by link, a path is one place for every program unless it goes through /proc or one of
// the /dev names of a process's descriptors, whichever way it gets there: straight, by links chained
// and climbing, or by a name that does not exist yet. A path that cannot be followed is no one place.
TEST(PerProcessPathTest, APathIsOnePlaceUnlessItGoesThroughAPlaceOfEachProgramsOwn) {
    const test::TempDir dir;
    const std::string climb = "../../../../../../../../../../../../../../../../../../../..";
    dir.write("a/b/f", "x");
    fs::create_symlink("a/b", dir.path() / "inner");
    fs::create_symlink(dir.path() / "a", dir.path() / "absolute");
    fs::create_symlink(climb, dir.path() / "top");
    fs::create_symlink("/proc/self", dir.path() / "self");
    fs::create_symlink("second", dir.path() / "first");
    fs::create_symlink("a/../top/dev/stdin", dir.path() / "second");
    fs::create_symlink("loop", dir.path() / "loop");
    struct Case {
        std::string path;
        std::string why; // empty: one place
    };
    const std::vector<Case> cases = {
        {"/proc/self/cwd/x", "leads through /proc,"},
        {"/proc", "leads through /proc,"},
        {"/proc/thread-self/root", "leads through /proc,"},
        {"/dev/fd/3", "leads through /dev/fd,"},
        {"/dev/./stderr", "leads through /dev/stderr,"},
        {"top/proc/1/cwd", "leads through /proc,"},
        {"self/cwd", "leads through /proc,"},
        {"first", "leads through /dev/stdin,"},
        {"inner/../" + climb + "/proc", "leads through /proc,"},
        {"missing/" + climb + "/proc/self", "leads through /proc,"},
        {"missing/../self/cwd", "leads through /proc,"},
        {"loop/x", "cannot be followed at " + (dir.path() / "loop").string()},
        {"inner/../b/f", ""},
        {"absolute/b/f", ""},
        {"missing/x", ""},
        {"top/usr/bin", ""},
        {"a/b/f/x", ""},
    };
    // One look at every path, as a repository's files are looked at: what it learnt of one holds for the
    // next.
    PerProcessPath paths;
    for (const auto& [path, why] : cases) {
        SCOPED_TRACE(path);
        const auto found = paths.whyNotOnePlace(path, dir.path());
        if (why.empty()) {
            EXPECT_EQ(found, std::nullopt);
        } else {
            EXPECT_THAT(found.value_or(""), testing::HasSubstr(why));
        }
    }
}

} // namespace
} // namespace korvane
