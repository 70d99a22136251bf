#include "platform/linux/procprocesstable.h"

#include "support/tempdir.h"
#include "support/unixsocket.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gmock/gmock.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace korvane {
namespace {

// A child in its own session, optionally with a fresh pseudo-terminal as its controlling terminal,
// working in `directory`; stopped and reaped on destruction.
class Child {
public:
    Child(const std::string& directory, bool withTerminal) {
        if (withTerminal) {
            master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
                return;
            }
            terminal_ = ::ptsname(master_);
        }
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            const auto fail = [&](int code) {
                const char byte = 1;
                (void)!::write(ready[1], &byte, 1);
                ::_exit(code);
            };
            ::setsid();
            if (!terminal_.empty()) {
                // The first terminal a session leader opens becomes its controlling terminal.
                if (::open(terminal_.c_str(), O_RDWR) < 0) {
                    fail(2);
                }
            }
            if (::chdir(directory.c_str()) != 0) {
                fail(3);
            }
            ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            fail(4);
        }
        // The pipe closes on exec, and only then is the child the program that the test reads; a
        // child that failed writes to it first.
        ::close(ready[1]);
        char byte = 0;
        ssize_t got = 0;
        while ((got = ::read(ready[0], &byte, 1)) < 0 && errno == EINTR) {
        }
        ready_ = got == 0;
        ::close(ready[0]);
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) {
            ::close(master_);
        }
    }

    pid_t pid() const { return ready_ ? pid_ : -1; }
    // The device's name below /dev, such as "pts/4".
    std::string terminal() const { return terminal_.substr(std::string("/dev/").size()); }

private:
    pid_t pid_ = -1;
    int master_ = -1;
    std::string terminal_;
    bool ready_ = false;
};

TEST(ProcProcessTable, ReadsItsOwnProcessAndItsChildren) {
    test::TempDir dir;
    std::string work = std::filesystem::canonical(dir.path()).string() + "/work dir (1)";
    std::filesystem::create_directory(work);
    Child withTerminal(work, true);
    Child without(work, false);
    ASSERT_GT(withTerminal.pid(), 0);
    ASSERT_GT(without.pid(), 0);

    ProcProcessTable table;
    auto parents = table.allProcessParents();
    EXPECT_THAT(parents[::getppid()], testing::Contains(::getpid()));
    EXPECT_THAT(parents[::getpid()], testing::IsSupersetOf({withTerminal.pid(), without.pid()}));
    EXPECT_TRUE(std::is_sorted(parents[::getpid()].begin(), parents[::getpid()].end()));
    // Read from the process alone where the kernel lists children, the same list.
    if (auto children = table.childProcesses(::getpid())) {
        EXPECT_EQ(*children, parents[::getpid()]);
        EXPECT_EQ(table.childProcesses(999999999), std::vector<std::int32_t>{});
    }

    EXPECT_EQ(table.currentDirectory(::getpid()), std::filesystem::current_path().string());
    EXPECT_EQ(table.currentDirectory(withTerminal.pid()), work);
    // A session leader that took a terminal is the job that terminal shows.
    EXPECT_EQ(table.status(withTerminal.pid()),
              (ProcessStatus{"sleep", withTerminal.terminal(), withTerminal.pid(), withTerminal.pid()}));
    EXPECT_EQ(table.status(without.pid()), (ProcessStatus{"sleep", std::nullopt, without.pid(), -1}));
    EXPECT_EQ(table.commandLine(without.pid()), (std::vector<std::string>{"sleep", "30"}));
    const auto environment = table.environment(without.pid());
    ASSERT_TRUE(environment.has_value());
    EXPECT_THAT(*environment, testing::Contains(std::string("PATH=") + std::getenv("PATH")));
    EXPECT_TRUE(table.deviceAccessTime(withTerminal.terminal()).has_value());
    // A read of ten bytes counts in this process's reads.
    const auto before = table.reads(::getpid());
    ASSERT_TRUE(before.has_value());
    {
        const std::string file = dir.path().string() + "/ten";
        std::ofstream(file) << "0123456789";
        std::ifstream(file).get();
    }
    const auto after = table.reads(::getpid());
    ASSERT_TRUE(after.has_value());
    EXPECT_GT(after->calls, before->calls);
    EXPECT_GE(after->bytes, before->bytes + 10);
    EXPECT_EQ(table.reads(999999999), std::nullopt);
    EXPECT_EQ(table.deviceAccessTime("../etc/passwd"), std::nullopt);
    // The terminal the child holds open, by its device's name.
    EXPECT_THAT(table.openFiles(withTerminal.pid()).value_or(std::vector<std::string>{}),
                testing::Contains("/dev/" + withTerminal.terminal()));
    EXPECT_EQ(table.openFiles(999999999), std::nullopt);

    // A directory removed under a process reads as none.
    std::filesystem::remove(work);
    EXPECT_EQ(table.currentDirectory(without.pid()), std::nullopt);
    EXPECT_EQ(table.currentDirectory(999999999), std::nullopt);
    EXPECT_EQ(table.status(999999999), std::nullopt);
    EXPECT_EQ(table.commandLine(999999999), std::nullopt);
}

std::optional<FileIdentity> identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{info.st_dev, info.st_ino};
}

TEST(ProcProcessTable, TellsWhatAProcessRunsWhereAndWhoListensOnASocket) {
    test::TempDir dir;
    Child child(dir.path().string(), false);
    ASSERT_GT(child.pid(), 0);
    ProcProcessTable table;
    EXPECT_EQ(table.executable(child.pid()), identityOf("/bin/sleep"));
    EXPECT_EQ(table.executable(::getpid()), identityOf("/proc/self/exe"));
    EXPECT_NE(table.executable(::getpid()), table.executable(child.pid()));
    EXPECT_EQ(table.executable(999999999), std::nullopt);
    ASSERT_TRUE(table.mountNamespace(::getpid()).has_value());
    EXPECT_EQ(table.mountNamespace(child.pid()), table.mountNamespace(::getpid()));

    // The listener is described without its ever accepting the connection.
    const std::string listening = (dir.path() / "listening").string();
    const std::string closed = (dir.path() / "closed").string();
    const int listener = test::boundSocket(listening);
    ASSERT_GE(listener, 0);
    ::close(test::boundSocket(closed, false));
    EXPECT_EQ(table.socketListener(listening), (SocketListener{::getpid(), ::getuid()}));
    EXPECT_EQ(table.socketListener(closed), std::nullopt);
    EXPECT_EQ(table.socketListener(dir.write("file", "").string()), std::nullopt);
    EXPECT_EQ(table.socketListener("/" + std::string(200, 'a')), std::nullopt);
    ::close(listener);

    if (::geteuid() != 0) {
        return;
    }
    const pid_t apart = ::fork();
    if (apart == 0) {
        if (::unshare(CLONE_NEWNS) == 0) {
            ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
        }
        ::_exit(1);
    }
    for (int tries = 0; tries < 500 && table.executable(apart) != identityOf("/bin/sleep"); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(table.mountNamespace(apart).has_value());
    EXPECT_NE(table.mountNamespace(apart), table.mountNamespace(::getpid()));
    ::kill(apart, SIGKILL);
    ::waitpid(apart, nullptr, 0);
}

TEST(ProcProcessTable, ReadsTheFieldsAfterTheLastParenthesis) {
    using Fields = ProcProcessTable::StatFields;
    struct Case {
        std::string line;
        std::optional<Fields> fields;
    };
    const Case cases[] = {
        {"42 (bash) S 7 42 42 34817 42 4194560 0", Fields{"bash", 7, 42, 34817, 42}},
        {"42 (a) b (c) S 9 1 1 0 -1 0", Fields{"a) b (c", 9, 1, 0, -1}},
        {"42 (tmux: client) S 11 12 12 1025 12", Fields{"tmux: client", 11, 12, 1025, 12}},
        {"42 (bash S 7 42 42 34817 42", std::nullopt},
        {"42 (bash) S 7 42 42 34817", std::nullopt},
        {"42 (bash) S seven 42 42 0 0", std::nullopt},
        {"42 (bash) S 7 42 42 34817 fg", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProcProcessTable::parseStat(c.line), c.fields) << c.line;
    }
}

// Another process's arguments and environment are as long as it makes them: past the table's limit they
// are not read at all, rather than read in part or into memory however large.
TEST(ProcProcessTable, ReadsArgumentsAndEnvironmentUpToItsLimit) {
    test::TempDir proc;
    const std::string nul(1, '\0');
    // Arguments of the limit's length exactly, and one byte past it.
    const std::string full(ProcProcessTable::listLimit - 6, 'x');
    proc.write("7/environ", "A=1" + nul + "B=2" + nul);
    proc.write("7/cmdline", "tmux" + nul + full + nul);
    proc.write("8/environ", "A=" + full + "yyyy" + nul);
    proc.write("8/cmdline", "tmux" + nul + full + "y" + nul);
    ProcProcessTable table(proc.path().string());
    EXPECT_EQ(table.environment(7), (std::vector<std::string>{"A=1", "B=2"}));
    EXPECT_EQ(table.commandLine(7), (std::vector<std::string>{"tmux", full}));
    EXPECT_EQ(table.environment(8), std::nullopt);
    EXPECT_EQ(table.commandLine(8), std::nullopt);
}

TEST(ProcProcessTable, ReadsTheReadCountsOfItsIoFile) {
    const std::string io = "rchar: 2012\nwchar: 77\nsyscr: 31\nsyscw: 5\nread_bytes: 0\n";
    EXPECT_EQ(ProcProcessTable::parseIo(io), (ProcessReads{31, 2012}));
    EXPECT_EQ(ProcProcessTable::parseIo("rchar: 2012\nsyscw: 5\n"), std::nullopt);
    EXPECT_EQ(ProcProcessTable::parseIo("rchar: 2012\nsyscr: -1\n"), std::nullopt);
    EXPECT_EQ(ProcProcessTable::parseIo(""), std::nullopt);
}

} // namespace
} // namespace korvane
