#include "providers/tmuxsocket.h"

#include "support/tempdir.h"
#include "support/unixsocket.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

TEST(TmuxSocket, IsWhereTmuxConnectsForTheClientsArgumentsAndEnvironment) {
    using Arguments = std::vector<std::string>;
    struct Case {
        Arguments arguments;
        Arguments environment;
        std::string directory;
        std::optional<std::string> socket;
    };
    test::TempDir dir;
    const std::string root = fs::canonical(dir.path()).string();
    const std::string tmp = fs::canonical("/tmp").string();
    const std::string home = root + "/home";
    fs::create_directories(root + "/run");
    fs::create_directories(home + "/~/run");
    fs::create_directory_symlink(root + "/run", root + "/link");
    const Case cases[] = {
        {{"tmux"}, {}, home, tmp + "/tmux-7/default"},
        {{"tmux", "attach", "-t", "work"}, {"TMUX_TMPDIR="}, home, tmp + "/tmux-7/default"},
        {{"tmux", "-L", "work", "attach"}, {}, home, tmp + "/tmux-7/work"},
        {{"/usr/bin/tmux", "-2uLwork"}, {}, home, tmp + "/tmux-7/work"},
        {{"tmux", "-f", "/dev/null", "-L", "work"}, {}, home, tmp + "/tmux-7/work"},
        {{"tmux", "-S", "sockets/one", "new"}, {}, home + "/code", home + "/code/sockets/one"},
        {{"tmux", "-S/run/one", "-L", "work"}, {}, home, "/run/one"},
        {{"tmux", "-L", "work", "-S", "/run/one"}, {}, home, "/run/one"},
        {{"tmux", "new", "-L", "work"}, {}, home, tmp + "/tmux-7/default"},
        {{"tmux", "--", "-L", "work"}, {}, home, tmp + "/tmux-7/default"},
        {{"tmux"}, {"TMUX_TMPDIR=" + root + "/run/"}, home, root + "/run/tmux-7/default"},
        {{"tmux"}, {"TMUX_TMPDIR=../run"}, home, root + "/run/tmux-7/default"},
        {{"tmux"}, {"TMUX_TMPDIR=" + root + "/link"}, home, root + "/run/tmux-7/default"},
        // A folder that does not exist is passed over for /tmp; "~/" is a folder named "~".
        {{"tmux", "-Lwork"}, {"TMUX_TMPDIR=" + root + "/missing"}, home, tmp + "/tmux-7/work"},
        {{"tmux"}, {"TMUX_TMPDIR=~/run"}, home, home + "/~/run/tmux-7/default"},
        {{"tmux"}, {"TMUX_TMPDIR=~/run"}, root, tmp + "/tmux-7/default"},
        {{"tmux"}, {"TMUX=/tmp/tmux-7/outer,812,0"}, home, "/tmp/tmux-7/outer"},
        {{"tmux", "-L", "work"}, {"TMUX=/tmp/tmux-7/outer,812,0"}, home, tmp + "/tmux-7/work"},
        // Where tmux would resolve the folder in a place Korvane cannot follow.
        {{"tmux"}, {"TMUX_TMPDIR=run"}, "", std::nullopt},
        {{"tmux"}, {"TMUX_TMPDIR=/proc/self/cwd"}, home, std::nullopt},
        {{"tmux", "-S", "one"}, {}, "", std::nullopt},
        {{"tmux", "-L"}, {}, home, std::nullopt},
        {{}, {}, home, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TmuxSocket::clientPath(c.arguments, c.environment, c.directory, 7), c.socket)
            << testing::PrintToString(c.arguments) << " " << testing::PrintToString(c.environment) << " in "
            << c.directory;
    }
}

// Only a socket that no one but the user could have put there is asked: the user's own, in a folder
// of the user's that no one else may write to, or sticky.
TEST(TmuxSocket, IsAskedOnlyWhereNoOneButTheUserCouldHavePutIt) {
    test::TempDir dir;
    const fs::path root = fs::canonical(dir.path());
    const auto uid = static_cast<std::uint32_t>(::getuid());
    const bool asRoot = ::geteuid() == 0;
    struct Case {
        std::string folder;
        fs::perms mode;
        bool accepted;
    };
    const Case cases[] = {
        {"own", fs::perms::owner_all, true},
        {"group-readable", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec, true},
        {"group-writable", fs::perms::owner_all | fs::perms::group_all, false},
        {"others-enter", fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec, true},
        {"others-write", fs::perms::owner_all | fs::perms::others_write | fs::perms::others_exec, false},
        {"open", fs::perms::all, false},
        {"sticky", fs::perms::all | fs::perms::sticky_bit, true},
        {"foreign-socket", fs::perms::owner_all, false},
        {"foreign-folder", fs::perms::owner_all, false},
        {"foreign-sticky", fs::perms::all | fs::perms::sticky_bit, false},
    };
    for (const Case& c : cases) {
        const fs::path socket = root / c.folder / "server";
        fs::create_directory(root / c.folder);
        ::close(test::boundSocket(socket.string(), false));
        fs::permissions(root / c.folder, c.mode);
        const bool foreign = c.folder.starts_with("foreign");
        if (foreign && !asRoot) {
            continue;
        }
        if (foreign) {
            ASSERT_EQ(
                ::chown((c.folder == "foreign-socket" ? socket : root / c.folder).c_str(), 65534, 65534), 0);
        }
        const auto found = TmuxSocket::ownedBy(socket.string(), uid);
        EXPECT_EQ(found.has_value(), c.accepted) << c.folder;
        if (found) {
            struct stat info {};
            ASSERT_EQ(::stat(socket.c_str(), &info), 0);
            EXPECT_EQ(found->path, socket.string());
            EXPECT_EQ(found->file, (FileIdentity{info.st_dev, info.st_ino}));
        }
    }
    // A link leads to the socket it names, which is checked where it is.
    fs::create_directory_symlink(root / "own", root / "link");
    fs::create_directory_symlink(root / "open", root / "own" / "inner");
    EXPECT_EQ(TmuxSocket::ownedBy((root / "link" / "server").string(), uid)->path,
              (root / "own" / "server").string());
    EXPECT_EQ(TmuxSocket::ownedBy((root / "own" / "inner" / "server").string(), uid), std::nullopt);
    // Not a socket, nothing at all, or a path through the asking process's own folders.
    dir.write("own/file", "");
    EXPECT_EQ(TmuxSocket::ownedBy((root / "own" / "file").string(), uid), std::nullopt);
    EXPECT_EQ(TmuxSocket::ownedBy((root / "own" / "missing").string(), uid), std::nullopt);
    EXPECT_EQ(TmuxSocket::ownedBy("/proc/self/root" + (root / "own" / "server").string(), uid), std::nullopt);
    EXPECT_EQ(TmuxSocket::ownedBy((root / "own" / "server").string(), uid + 1), std::nullopt);
}

} // namespace
} // namespace korvane
