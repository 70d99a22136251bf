#include "platform/linux/instancelock.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane {
namespace {

// What acquire() says in another process: 0 acquired, 1 held by another, 2 unavailable.
int acquireInChild(const std::filesystem::path& file) {
    pid_t pid = ::fork();
    if (pid == 0) {
        auto lock = InstanceLock::acquire(file);
        ::_exit(lock ? 0 : lock.error() == InstanceLock::Error::heldByAnother ? 1 : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(InstanceLockTest, OneHolderAtATime) {
    test::TempDir dir;
    const auto file = dir.path() / "korvane.lock";
    auto first = InstanceLock::acquire(file);
    ASSERT_TRUE(first) << first.error().description;
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    EXPECT_EQ(acquireInChild(file), 1);
    auto second = InstanceLock::acquire(file);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind, InstanceLock::Error::heldByAnother);

    // Moving the lock keeps it held; destroying it releases it.
    InstanceLock moved = std::move(*first);
    first = makeUnexpected(InstanceLock::Error{});
    EXPECT_EQ(acquireInChild(file), 1);
    { InstanceLock released = std::move(moved); }
    EXPECT_EQ(acquireInChild(file), 0);
}

TEST(InstanceLockTest, RefusesLinksAndMissingFolders) {
    test::TempDir dir;
    const auto target = dir.write("elsewhere", "");
    std::filesystem::create_symlink(target, dir.path() / "korvane.lock");
    auto linked = InstanceLock::acquire(dir.path() / "korvane.lock");
    ASSERT_FALSE(linked);
    EXPECT_EQ(linked.error().kind, InstanceLock::Error::unavailable);

    auto missing = InstanceLock::acquire(dir.path() / "no-such-folder" / "korvane.lock");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, InstanceLock::Error::unavailable);
    EXPECT_NE(missing.error().description.find("no-such-folder"), std::string::npos);
}

} // namespace
} // namespace korvane
