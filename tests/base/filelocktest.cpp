#include "base/filelock.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using namespace std::chrono_literals;

// A holder that never lets go costs a bounded wait and an error, not a hung caller; once it lets
// go the lock is taken again.
TEST(FileLockTest, AHeldLockIsWaitedForWithABound) {
    test::TempDir dir;
    const auto path = dir.path() / "config.json.lock";
    auto held = FileLock::acquire(path);
    ASSERT_TRUE(held) << held.error();
    const auto failed = FileLock::acquire(path, 30ms);
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.error().find("held elsewhere for over 30 ms"), std::string::npos) << failed.error();
    held = makeUnexpected(std::string("released"));
    EXPECT_TRUE(FileLock::acquire(path, 30ms));
}

} // namespace
} // namespace korvane
