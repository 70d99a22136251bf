#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakeprocesstable.h"
#include "platform/fake/inlineworkerpool.h"
#include "providers/projectdetector.h"
#include "support/faketmuxservers.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"
#include "support/unixsocket.h"

#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

const std::string kApp = "/home/user/code/app";
const std::string kWeb = "/home/user/code/web";
const std::string kPkg = "/home/user/code/app/packages/ui";
const std::string kStart = "/home/user/code/start";

constexpr std::int32_t kTerminal = 100;
constexpr std::int32_t kShell = 101;
constexpr std::int32_t kClient = 102;
constexpr std::int32_t kServer = 200;

// An xterm whose shell (in kWeb) runs a tmux client started in kStart; the client's server runs two
// panes, one in kApp and one in kPkg with an editor in kWeb stopped in the background; a second
// server runs a pane in kWeb. The client and the servers run the tmux on the PATH, the client's
// server listens on a socket of the user's own.
class TmuxPaneFinderTest : public testing::Test {
protected:
    TmuxPaneFinderTest() {
        std::filesystem::path tmux = bin.write("tmux", "");
        std::filesystem::permissions(tmux, std::filesystem::perms::owner_all);
        struct stat info {};
        ::stat(tmux.c_str(), &info);
        tmuxFile = FileIdentity{info.st_dev, info.st_ino};
        std::filesystem::create_directories(std::filesystem::path(workSocket).parent_path());
        std::filesystem::permissions(std::filesystem::path(workSocket).parent_path(),
                                     std::filesystem::perms::owner_all);
        ::close(test::boundSocket(workSocket, false));
        for (const std::string& root : {kApp, kWeb, kStart}) {
            files->addDirectory(root + "/.git");
        }
        files->addFile(kPkg + "/package.json");
        apps->setFrontmost(FrontmostApplication{"xterm", kTerminal});

        addJob(kShell, kTerminal, "pts/1", kWeb, "sh");
        addClient(kClient, kShell, "pts/1", kStart, {"tmux", "-L", "work", "attach"});

        addJob(kServer, 1, std::nullopt, "/", "tmux: server");
        table->setExecutable(kServer, tmuxFile);
        table->setSocketListener(workSocket, SocketListener{kServer, static_cast<std::uint32_t>(::getuid())});
        addJob(201, kServer, "pts/5", kApp, "sh");
        addJob(202, kServer, "pts/6", kPkg, "sh");
        addJob(203, 202, "pts/6", kWeb, "vi");
        table->setForegroundGroup("pts/6", 202);
        addJob(300, 1, std::nullopt, "/", "tmux: server");
        addJob(301, 300, "pts/7", kWeb, "sh");
        servers->respond(defaultSocket, "102 /dev/pts/1 301 /dev/pts/7\n");
    }

    void addJob(std::int32_t pid, std::int32_t parent, std::optional<std::string> tty, std::string cwd,
                std::string name) {
        table->addProcess(pid, parent, std::move(tty), std::move(cwd));
        table->setName(pid, std::move(name));
    }

    // A tmux client in front of `tty`, started with `arguments` and the work socket's folder.
    void addClient(std::int32_t pid, std::int32_t parent, const std::string& tty, std::string cwd,
                   std::vector<std::string> arguments) {
        addJob(pid, parent, tty, std::move(cwd), "tmux: client");
        table->setCommandLine(pid, std::move(arguments));
        table->setEnvironment(pid, std::vector<std::string>{"HOME=/home/user", "TMUX_TMPDIR=" + run});
        table->setExecutable(pid, tmuxFile);
        table->setForegroundGroup(tty, pid);
    }

    // The client's server shows the pane `pane` on `paneTty` to the client, beside another session's client.
    void showPane(std::int32_t pane, const std::string& paneTty) {
        servers->respond(workSocket, "555 /dev/pts/9 201 /dev/pts/5\n102 /dev/pts/1 " + std::to_string(pane) +
                                         " /dev/" + paneTty + "\n");
    }

    std::optional<std::string> detect() { return detector.detectProjectRoot(); }

    test::TempDir bin;
    test::TempDir sockets;
    const std::string run = std::filesystem::canonical(sockets.path()).string() + "/run";
    const std::string workSocket = run + "/tmux-" + std::to_string(::getuid()) + "/work";
    const std::string defaultSocket = "/tmp/tmux-" + std::to_string(::getuid()) + "/default";
    FileIdentity tmuxFile;
    FakeClock clock;
    InlineWorkerPool pool;
    std::shared_ptr<FakeActiveAppProvider> apps = std::make_shared<FakeActiveAppProvider>();
    std::shared_ptr<FakeProcessTable> table = std::make_shared<FakeProcessTable>();
    std::shared_ptr<FakeFileProbe> files = std::make_shared<FakeFileProbe>("/home/user");
    std::shared_ptr<test::FakeTmuxServers> servers = std::make_shared<test::FakeTmuxServers>(&clock);
    test::ScopedEnv path{"PATH", ("relative/bin:" + bin.path().string()).c_str()};
    ProjectDetector detector{
        apps, table, files,
        std::make_unique<TmuxPaneFinder>(table, servers, pool, ProgramOnPath::korvaneSearchPath(), clock)};
};

TEST_F(TmuxPaneFinderTest, ThePaneTheClientShowsSpeaksForTheTerminal) {
    showPane(201, "pts/5");
    EXPECT_EQ(detect(), kApp);
    ASSERT_EQ(servers->requests().size(), 1u);
    const ProcessRequest& request = servers->requests().front();
    EXPECT_EQ(request.executable, (bin.path() / "tmux").string());
    EXPECT_EQ(request.arguments, (std::vector<std::string>{"-S", workSocket, "list-clients", "-F",
                                                           std::string(TmuxServerQuestions::listFormat)}));

    // Another pane selected: its foreground job first, the editor in the background after it.
    showPane(202, "pts/6");
    EXPECT_EQ(detect(), kPkg);
    table->setForegroundGroup("pts/6", 203);
    EXPECT_EQ(detect(), kWeb);
}

TEST_F(TmuxPaneFinderTest, WhateverFailsTheTerminalGivesNoProject) {
    apps->setTitle(kTerminal, "user@host: ~/code/start");
    // No server at the client's socket (the other server would name a pane for it).
    EXPECT_EQ(detect(), std::nullopt);
    // An answer whose pane process is not on the terminal the answer names.
    showPane(201, "pts/6");
    EXPECT_EQ(detect(), std::nullopt);
    // A client on another terminal of that name, or another client on this one.
    servers->respond(workSocket, "103 /dev/pts/1 201 /dev/pts/5\n102 /dev/pts/2 201 /dev/pts/5\n");
    EXPECT_EQ(detect(), std::nullopt);
    const std::size_t asked = servers->requests().size();
    EXPECT_EQ(asked, 3u);

    // A client whose environment cannot be read is not the user's to ask about.
    showPane(201, "pts/5");
    table->setEnvironment(kClient, std::nullopt);
    EXPECT_EQ(detect(), std::nullopt);
    // A client stopped in the background leaves the shell in front.
    table->setEnvironment(kClient, std::vector<std::string>{"TMUX_TMPDIR=" + run});
    table->setForegroundGroup("pts/1", kShell);
    EXPECT_EQ(detect(), kWeb);
    EXPECT_EQ(servers->requests().size(), asked);

    // Without tmux on an absolute entry of the search path, nothing is started.
    test::ScopedEnv noTmux("PATH", "relative/bin:/nonexistent");
    ProjectDetector without(
        apps, table, files,
        std::make_unique<TmuxPaneFinder>(table, servers, pool, ProgramOnPath::korvaneSearchPath()));
    table->setForegroundGroup("pts/1", kClient);
    EXPECT_EQ(without.detectProjectRoot(), std::nullopt);
    EXPECT_EQ(servers->requests().size(), asked);
}

// A socket path through /proc or /dev/fd, or through a link that leads there, names the client's own
// folders for the client and Korvane's for the tmux Korvane starts: no server is asked at it.
TEST_F(TmuxPaneFinderTest, ASocketNamedThroughPerProcessFoldersIsNotAsked) {
    std::filesystem::create_directory_symlink("/proc/self/cwd", bin.path() / "here");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"tmux", "-S", "/proc/self/cwd/work"}, "/proc/self/cwd/work"},
        {{"tmux", "-S/dev/fd/5/work"}, "/dev/fd/5/work"},
        {{"tmux", "-S", (bin.path() / "here/work").string()}, (bin.path() / "here/work").string()},
        {{"tmux", "-L", "work", "-f", "/proc/self/root/etc/tmux.conf"}, workSocket},
    };
    for (const auto& [arguments, socket] : cases) {
        table->setCommandLine(kClient, arguments);
        servers->respond(socket, "102 /dev/pts/1 201 /dev/pts/5\n");
        EXPECT_EQ(detect(), socket == workSocket ? std::optional(kApp) : std::nullopt) << socket;
    }
    table->setCommandLine(kClient, std::vector<std::string>{"tmux", "-L", "work"});
    table->setEnvironment(kClient, std::vector<std::string>{"TMUX_TMPDIR=/proc/self/root" + run});
    servers->respond("/proc/self/root" + workSocket, "102 /dev/pts/1 201 /dev/pts/5\n");
    EXPECT_EQ(detect(), std::nullopt);
    EXPECT_EQ(servers->requests().size(), 1u) << "only the server at a path that is one place for all";
}

// Any program may take tmux's client's name, and any user may listen on a socket: only a client that
// runs the tmux Korvane runs and sees the files as Korvane does is followed, and only to a socket of the
// user's own on which that same tmux of the user listens, seeing the same files.
TEST_F(TmuxPaneFinderTest, OnlyTheTmuxKorvaneRunsIsFollowedAndAsked) {
    namespace fs = std::filesystem;
    showPane(201, "pts/5");
    const auto uid = static_cast<std::uint32_t>(::getuid());
    const FileIdentity other{tmuxFile.device, tmuxFile.inode + 1};
    const FileIdentity elsewhere{FakeProcessTable::sharedNamespace.device, 1};
    const fs::path folder = fs::path(workSocket).parent_path();
    const std::function<void()> untrusted[] = {
        [&] { table->setExecutable(kClient, other); },
        [&] { table->setExecutable(kClient, std::nullopt); },
        [&] { table->setMountNamespace(kClient, elsewhere); },
        [&] { table->setMountNamespace(kClient, std::nullopt); },
        [&] { table->setMountNamespace(::getpid(), std::nullopt); },
        [&] { fs::permissions(folder, fs::perms::others_write, fs::perm_options::add); },
        [&] { table->setSocketListener(workSocket, std::nullopt); },
        [&] {
            table->setSocketListener(workSocket, SocketListener{kServer, uid + 1});
        },
        [&] {
            table->setSocketListener(workSocket, SocketListener{300, uid});
        },
        [&] { table->setMountNamespace(kServer, elsewhere); },
    };
    for (std::size_t index = 0; index < std::size(untrusted); ++index) {
        table->setExecutable(kClient, tmuxFile);
        for (std::int32_t pid : {kClient, kServer, static_cast<std::int32_t>(::getpid())}) {
            table->setMountNamespace(pid, FakeProcessTable::sharedNamespace);
        }
        fs::permissions(folder, fs::perms::owner_all);
        table->setSocketListener(workSocket, SocketListener{kServer, uid});
        EXPECT_EQ(detect(), kApp) << index;
        untrusted[index]();
        EXPECT_EQ(detect(), std::nullopt) << index;
    }
    EXPECT_EQ(servers->requests().size(), std::size(untrusted));
}

TEST_F(TmuxPaneFinderTest, ClientsOfOneServerInSeveralTabsAskItOnce) {
    addJob(110, kTerminal, "pts/2", kWeb, "sh");
    addClient(111, 110, "pts/2", kWeb, {"tmux", "-Lwork", "attach", "-t", "other"});
    table->setEnvironment(111, std::vector<std::string>{"TMUX_TMPDIR=" + run + "/"});
    servers->respond(workSocket, "102 /dev/pts/1 201 /dev/pts/5\n111 /dev/pts/2 202 /dev/pts/6\n");
    const auto epoch = std::chrono::system_clock::now();
    table->setAccessTime("pts/1", epoch);
    table->setAccessTime("pts/2", epoch + std::chrono::seconds(8));
    EXPECT_EQ(detect(), kPkg);
    table->setAccessTime("pts/1", epoch + std::chrono::seconds(16));
    EXPECT_EQ(detect(), kApp);
    EXPECT_EQ(servers->requests().size(), 2u);
}

// The keys typed on a tab running tmux are read by the program of the pane shown, not by the client:
// that tab is told from one following a log, also once another pane was shown since the last question.
// The pane shown at the last question, told so, needs no question; another one does, and the client,
// whose folder is where tmux was started, never speaks for the tab.
TEST_F(TmuxPaneFinderTest, ThePaneShownReadsTheKeysTypedOnItsTab) {
    showPane(201, "pts/5");
    table->setForegroundGroup("pts/5", 201);
    detect();
    EXPECT_TRUE(detector.tabBaselineShelf()->wanted());
    addJob(110, kTerminal, "pts/2", kWeb, "tail");
    table->setForegroundGroup("pts/2", 110);
    for (std::int32_t pid : {kClient, 110, 201, 202, 203}) {
        table->setReads(pid, ProcessReads{300, 9000});
    }
    const auto trigger = [&] { return detector.detectProjectRoot(apps->frontmostApplication(), true); };
    detect();
    detector.takeTabBaseline();
    table->setReads(201, ProcessReads{302, 9002});
    table->setReads(110, ProcessReads{303, 9450});
    EXPECT_EQ(trigger(), kApp);
    EXPECT_EQ(servers->requests().size(), 2u);

    detector.takeTabBaseline();
    table->setReads(kClient, ProcessReads{302, 9002});
    EXPECT_NE(trigger(), kStart);

    showPane(202, "pts/6");
    detector.takeTabBaseline();
    table->setReads(202, ProcessReads{301, 9001});
    table->setReads(110, ProcessReads{306, 9900});
    EXPECT_EQ(trigger(), kPkg);
    const std::size_t asked = servers->requests().size();
    detector.takeTabBaseline();
    table->setReads(202, ProcessReads{303, 9003});
    EXPECT_EQ(trigger(), kPkg);
    EXPECT_EQ(servers->requests().size(), asked);
}

} // namespace
} // namespace korvane
