#include "base/fileio.h"

#include "support/tempdir.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

mode_t permissions(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::size_t entryCount(const fs::path& directory) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

TEST(WriteFileAtomicallyTest, ReplacesContentsAndKeepsPermissions) {
    test::TempDir dir;
    const auto file = dir.write("config.json", "old contents that are longer");
    ::chmod(file.c_str(), 0600);

    ASSERT_TRUE(writeFileAtomically(file, "new").has_value());
    EXPECT_EQ(test::readFile(file), "new");
    EXPECT_EQ(permissions(file), 0600u);
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(WriteFileAtomicallyTest, WritesThroughSymlinkChainsAndKeepsTheLinks) {
    test::TempDir dir;
    const auto real = dir.write("dotfiles/config.json", "old");
    ::chmod(real.c_str(), 0640);
    fs::create_directories(dir.path() / "conf");
    fs::create_symlink("../dotfiles/config.json", dir.path() / "conf" / "middle.json");
    fs::create_symlink(dir.path() / "conf" / "middle.json", dir.path() / "conf" / "config.json");

    ASSERT_TRUE(writeFileAtomically(dir.path() / "conf" / "config.json", "new").has_value());
    EXPECT_TRUE(fs::is_symlink(dir.path() / "conf" / "config.json"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "conf" / "middle.json"));
    EXPECT_EQ(test::readFile(real), "new");
    EXPECT_EQ(permissions(real), 0640u);
    EXPECT_EQ(entryCount(dir.path() / "conf"), 2u);
    EXPECT_EQ(entryCount(dir.path() / "dotfiles"), 1u);
}

TEST(WriteFileAtomicallyTest, DanglingLinkCreatesItsTarget) {
    test::TempDir dir;
    fs::create_symlink("target.json", dir.path() / "link.json");
    ASSERT_TRUE(writeFileAtomically(dir.path() / "link.json", "made").has_value());
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.json"));
    EXPECT_EQ(test::readFile(dir.path() / "target.json"), "made");
}

TEST(WriteFileAtomicallyTest, FailureLeavesNoTemporaryFile) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "occupied");
    const auto result = writeFileAtomically(dir.path() / "occupied", "text");
    ASSERT_FALSE(result.has_value());
    EXPECT_NE(result.error().find("occupied"), std::string::npos);
    EXPECT_EQ(entryCount(dir.path()), 1u);

    EXPECT_FALSE(writeFileAtomically(dir.path() / "missing" / "file", "text").has_value());
}

TEST(WriteFileAtomicallyTest, RefusesAReadOnlyTarget) {
    test::TempDir dir;
    const auto file = dir.write("config.json", "kept");
    ::chmod(file.c_str(), 0444);
    const auto result = writeFileAtomically(file, "new");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), "Could not replace " + file.string() + ": Permission denied");
    EXPECT_EQ(test::readFile(file), "kept");
    EXPECT_EQ(permissions(file), 0444u);
    EXPECT_EQ(entryCount(dir.path()), 1u);

    // Through a link the final file decides; a write bit of the owner's is enough to replace it.
    fs::create_symlink("config.json", dir.path() / "link.json");
    EXPECT_FALSE(writeFileAtomically(dir.path() / "link.json", "new").has_value());
    ::chmod(file.c_str(), 0644);
    EXPECT_TRUE(writeFileAtomically(dir.path() / "link.json", "new").has_value());
    EXPECT_EQ(test::readFile(file), "new");
}

void makeOlder(const fs::path& path, std::chrono::seconds age) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch() - age)
                             .count();
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(WriteFileAtomicallyTest, RemovesItsOwnStaleTemporaryFiles) {
    test::TempDir dir;
    const auto file = dir.write("config.json", "{}");
    // What a writer killed mid-save leaves, a minute and more ago, next to what must stay: a
    // temporary another writer may still be filling, other names, and one that is not a file.
    const auto stale = dir.write("config.json.0123456789abcdef.tmp", "half");
    makeOlder(stale, std::chrono::seconds(61));
    const auto recent = dir.write("config.json.fedcba9876543210.tmp", "busy");
    makeOlder(recent, std::chrono::seconds(30));
    std::vector<fs::path> kept{recent};
    for (const char* name :
         {"history.json.0123456789abcdef.tmp", "config.json.0123456789ABCDEF.tmp",
          "config.json.0123456789abcde.tmp", "config.json.notes.tmp", "xconfig.json.0123456789abcdef.tmp"}) {
        kept.push_back(dir.write(name, "keep"));
        makeOlder(kept.back(), std::chrono::seconds(3600));
    }
    fs::create_symlink("config.json", dir.path() / "config.json.1111111111111111.tmp");
    makeOlder(dir.path() / "config.json.1111111111111111.tmp", std::chrono::seconds(3600));
    kept.push_back(dir.path() / "config.json.1111111111111111.tmp");

    ASSERT_TRUE(writeFileAtomically(file, "new").has_value());
    EXPECT_FALSE(fs::exists(fs::symlink_status(stale)));
    for (const auto& path : kept) {
        EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path;
    }
    EXPECT_EQ(test::readFile(file), "new");
}

TEST(ReadTextFileTest, RefusesWhatIsNotASmallRegularFile) {
    test::TempDir dir;
    EXPECT_EQ(readTextFile(dir.write("a.txt", "hello")).value(), "hello");
    EXPECT_FALSE(readTextFile(dir.write("big.txt", std::string(100, 'x')), 99).has_value());
    EXPECT_FALSE(readTextFile(dir.path()).has_value());
    EXPECT_FALSE(readTextFile(dir.path() / "absent").has_value());
    const auto fifo = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readTextFile(fifo).has_value()); // must return, not block
}

TEST(ReadTextFileTest, TellsPassingFailuresFromLastingOnes) {
    test::TempDir dir;
    const auto file = dir.write("a.txt", "hello");
    const auto fifo = dir.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readRegularFile(dir.path() / "absent").error().errorNumber, ENOENT);
    EXPECT_FALSE(readRegularFile(dir.path() / "absent").error().isTransient());
    EXPECT_FALSE(readRegularFile(fifo).error().isTransient());
    EXPECT_FALSE(readRegularFile(file, 2).error().isTransient());

    // With no descriptor left to open it, the read can succeed later.
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowestFree);
    rlimit lowered = saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    const auto exhausted = readRegularFile(file);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_FALSE(exhausted);
    EXPECT_EQ(exhausted.error().errorNumber, EMFILE);
    EXPECT_TRUE(exhausted.error().isTransient());
    EXPECT_EQ(readRegularFile(file).value(), "hello");
}

TEST(ReadTextFileTest, FollowsLinksOnlyToRegularFilesAndStopsPastTheLimit) {
    test::TempDir dir;
    const auto text = dir.write("text", "12345");
    fs::create_symlink(text, dir.path() / "toText");
    fs::create_symlink("/dev/zero", dir.path() / "toZero");
    ASSERT_EQ(::mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
    fs::create_symlink(dir.path() / "pipe", dir.path() / "toPipe");
    const struct {
        const char* name;
        std::optional<std::uint64_t> size;
    } cases[] = {{"text", 5}, {"toText", 5}, {"toZero", std::nullopt}, {"toPipe", std::nullopt}, {"pipe", std::nullopt}, {"absent", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(regularFileSize(dir.path() / c.name), c.size) << c.name;
        EXPECT_EQ(readTextFile(dir.path() / c.name, 5).has_value(), c.size.has_value()) << c.name;
    }
    EXPECT_FALSE(readTextFile(text, 4).has_value());
    // Files of /proc report a size of 0 and are refused once they run past the limit.
    EXPECT_FALSE(readTextFile("/proc/self/status", 16).has_value());
    EXPECT_TRUE(readTextFile("/proc/self/status").has_value());
}

} // namespace
} // namespace korvane
