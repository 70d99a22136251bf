#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakeprocesstable.h"
#include "providers/projectdetector.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gmock/gmock.h>
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

// tmux servers by socket: each answers list-clients with its listing, every other socket fails as
// tmux does where no server listens.
class FakeTmuxServers final : public ProcessRunner {
public:
    Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) override {
        requests.push_back(request);
        ProcessResult result;
        const auto server =
            request.arguments.size() > 1 ? listings.find(request.arguments[1]) : listings.end();
        if (server == listings.end()) {
            result.status = 1;
        } else {
            result.output = server->second;
        }
        return result;
    }

    std::map<std::string, std::string> listings;
    std::vector<ProcessRequest> requests;
};

// An xterm whose shell (in kWeb) runs a tmux client started in kStart; the client's server runs two
// panes, one in kApp and one in kPkg with an editor in kWeb stopped in the background; a second
// server runs a pane in kWeb.
class TmuxPaneFinderTest : public testing::Test {
protected:
    TmuxPaneFinderTest() {
        std::filesystem::path tmux = bin.write("tmux", "");
        std::filesystem::permissions(tmux, std::filesystem::perms::owner_all);
        for (const std::string& root : {kApp, kWeb, kStart}) {
            files->addDirectory(root + "/.git");
        }
        files->addFile(kPkg + "/package.json");
        apps->setFrontmost(FrontmostApplication{"xterm", kTerminal});

        addJob(kShell, kTerminal, "pts/1", kWeb, "sh");
        addJob(kClient, kShell, "pts/1", kStart, "tmux: client");
        table->setCommandLine(kClient, std::vector<std::string>{"tmux", "-L", "work", "attach"});
        table->setEnvironment(kClient,
                              std::vector<std::string>{"HOME=/home/user", "TMUX_TMPDIR=/run/user/7"});
        table->setForegroundGroup("pts/1", kClient);

        addJob(200, 1, std::nullopt, "/", "tmux: server");
        addJob(201, 200, "pts/5", kApp, "sh");
        addJob(202, 200, "pts/6", kPkg, "sh");
        addJob(203, 202, "pts/6", kWeb, "vi");
        table->setForegroundGroup("pts/6", 202);
        addJob(300, 1, std::nullopt, "/", "tmux: server");
        addJob(301, 300, "pts/7", kWeb, "sh");
        servers->listings[defaultSocket] = "102 /dev/pts/1 301 /dev/pts/7\n";
    }

    void addJob(std::int32_t pid, std::int32_t parent, std::optional<std::string> tty, std::string cwd,
                std::string name) {
        table->addProcess(pid, parent, std::move(tty), std::move(cwd));
        table->setName(pid, std::move(name));
    }

    // The client's server shows the pane `pane` on `paneTty` to the client, beside another session's client.
    void showPane(std::int32_t pane, const std::string& paneTty) {
        servers->listings[workSocket] = "555 /dev/pts/9 201 /dev/pts/5\n102 /dev/pts/1 " +
                                        std::to_string(pane) + " /dev/" + paneTty + "\n";
    }

    std::optional<std::string> detect() { return detector.detectProjectRoot(); }

    const std::string workSocket = "/run/user/7/tmux-" + std::to_string(::getuid()) + "/work";
    const std::string defaultSocket = "/tmp/tmux-" + std::to_string(::getuid()) + "/default";
    test::TempDir bin;
    std::shared_ptr<FakeActiveAppProvider> apps = std::make_shared<FakeActiveAppProvider>();
    std::shared_ptr<FakeProcessTable> table = std::make_shared<FakeProcessTable>();
    std::shared_ptr<FakeFileProbe> files = std::make_shared<FakeFileProbe>("/home/user");
    std::shared_ptr<FakeTmuxServers> servers = std::make_shared<FakeTmuxServers>();
    test::ScopedEnv path{"PATH", ("relative/bin:" + bin.path().string()).c_str()};
    ProjectDetector detector{apps, table, files, servers};
};

TEST_F(TmuxPaneFinderTest, ThePaneTheClientShowsSpeaksForTheTerminal) {
    showPane(201, "pts/5");
    EXPECT_EQ(detect(), kApp);
    ASSERT_EQ(servers->requests.size(), 1u);
    const ProcessRequest& request = servers->requests.front();
    EXPECT_EQ(request.executable, (bin.path() / "tmux").string());
    EXPECT_EQ(request.arguments, (std::vector<std::string>{"-S", workSocket, "list-clients", "-F",
                                                           std::string(TmuxPaneFinder::listFormat)}));
    EXPECT_LE(request.timeout, 0.5);
    EXPECT_THAT(request.removedEnvironment, testing::Contains("TMUX"));

    // Another pane selected: its foreground job first, the editor in the background after it.
    showPane(202, "pts/6");
    EXPECT_EQ(detect(), kPkg);
    table->setForegroundGroup("pts/6", 203);
    EXPECT_EQ(detect(), kWeb);
}

TEST_F(TmuxPaneFinderTest, WhateverFailsTheTerminalIsReadAsWithoutTmux) {
    // No server at the client's socket (the other server would name a pane for it).
    EXPECT_EQ(detect(), kStart);
    // An answer whose pane process is not on the terminal the answer names.
    showPane(201, "pts/6");
    EXPECT_EQ(detect(), kStart);
    // A client on another terminal of that name, or another client on this one.
    servers->listings[workSocket] = "103 /dev/pts/1 201 /dev/pts/5\n102 /dev/pts/2 201 /dev/pts/5\n";
    EXPECT_EQ(detect(), kStart);
    const std::size_t asked = servers->requests.size();
    EXPECT_EQ(asked, 3u);

    // A client whose environment cannot be read is not the user's to ask about.
    showPane(201, "pts/5");
    table->setEnvironment(kClient, std::nullopt);
    EXPECT_EQ(detect(), kStart);
    // A client stopped in the background leaves the shell in front.
    table->setEnvironment(kClient, std::vector<std::string>{"TMUX_TMPDIR=/run/user/7"});
    table->setForegroundGroup("pts/1", kShell);
    EXPECT_EQ(detect(), kWeb);
    EXPECT_EQ(servers->requests.size(), asked);

    // Without tmux on an absolute entry of the search path, nothing is started.
    test::ScopedEnv noTmux("PATH", "relative/bin:/nonexistent");
    ProjectDetector without(apps, table, files, servers);
    table->setForegroundGroup("pts/1", kClient);
    EXPECT_EQ(without.detectProjectRoot(), kStart);
    EXPECT_EQ(servers->requests.size(), asked);
}

// A socket path through /proc or /dev/fd, or through a link that leads there, names the client's own
// folders for the client and Korvane's for the tmux Korvane starts: no server is asked at it.
TEST_F(TmuxPaneFinderTest, ASocketNamedThroughPerProcessFoldersIsNotAsked) {
    std::filesystem::create_directory_symlink("/proc/self/cwd", bin.path() / "here");
    const std::string uid = std::to_string(::getuid());
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"tmux", "-S", "/proc/self/cwd/work"}, "/proc/self/cwd/work"},
        {{"tmux", "-S/dev/fd/5/work"}, "/dev/fd/5/work"},
        {{"tmux", "-S", (bin.path() / "here/work").string()}, (bin.path() / "here/work").string()},
        {{"tmux", "-L", "work", "-f", "/proc/self/root/etc/tmux.conf"}, workSocket},
    };
    for (const auto& [arguments, socket] : cases) {
        table->setCommandLine(kClient, arguments);
        servers->listings[socket] = "102 /dev/pts/1 201 /dev/pts/5\n";
        EXPECT_EQ(detect(), socket == workSocket ? kApp : kStart) << socket;
    }
    table->setCommandLine(kClient, std::vector<std::string>{"tmux", "-L", "work"});
    table->setEnvironment(kClient, std::vector<std::string>{"TMUX_TMPDIR=/proc/self/root/run/user/7"});
    servers->listings["/proc/self/root/run/user/7/tmux-" + uid + "/work"] = "102 /dev/pts/1 201 /dev/pts/5\n";
    EXPECT_EQ(detect(), kStart);
    EXPECT_EQ(servers->requests.size(), 1u) << "only the server at a path that is one place for all";
}

TEST_F(TmuxPaneFinderTest, ClientsOfOneServerInSeveralTabsAskItOnce) {
    addJob(110, kTerminal, "pts/2", kWeb, "sh");
    addJob(111, 110, "pts/2", kWeb, "tmux: client");
    table->setCommandLine(111, std::vector<std::string>{"tmux", "-Lwork", "attach", "-t", "other"});
    table->setEnvironment(111, std::vector<std::string>{"TMUX_TMPDIR=/run/user/7/"});
    table->setForegroundGroup("pts/2", 111);
    servers->listings[workSocket] = "102 /dev/pts/1 201 /dev/pts/5\n111 /dev/pts/2 202 /dev/pts/6\n";
    const auto epoch = std::chrono::system_clock::now();
    table->setAccessTime("pts/1", epoch);
    table->setAccessTime("pts/2", epoch + std::chrono::seconds(8));
    EXPECT_EQ(detect(), kPkg);
    table->setAccessTime("pts/1", epoch + std::chrono::seconds(16));
    EXPECT_EQ(detect(), kApp);
    EXPECT_EQ(servers->requests.size(), 2u);
}

TEST(TmuxSocketPath, IsTheOneTmuxPicksFromTheClientsArgumentsAndEnvironment) {
    using Arguments = std::vector<std::string>;
    struct Case {
        Arguments arguments;
        Arguments environment;
        std::string directory;
        std::optional<std::string> socket;
    };
    const std::string home = "/home/user";
    const Case cases[] = {
        {{"tmux"}, {}, home, "/tmp/tmux-7/default"},
        {{"tmux", "attach", "-t", "work"}, {"TMUX_TMPDIR="}, home, "/tmp/tmux-7/default"},
        {{"tmux", "-L", "work", "attach"}, {}, home, "/tmp/tmux-7/work"},
        {{"/usr/bin/tmux", "-2uLwork"}, {}, home, "/tmp/tmux-7/work"},
        {{"tmux", "-f", "/dev/null", "-L", "work"}, {}, home, "/tmp/tmux-7/work"},
        {{"tmux", "-S", "sockets/one", "new"}, {}, home + "/code", home + "/code/sockets/one"},
        {{"tmux", "-S/run/one", "-L", "work"}, {}, home, "/run/one"},
        {{"tmux", "-L", "work", "-S", "/run/one"}, {}, home, "/run/one"},
        {{"tmux", "new", "-L", "work"}, {}, home, "/tmp/tmux-7/default"},
        {{"tmux", "--", "-L", "work"}, {}, home, "/tmp/tmux-7/default"},
        {{"tmux"}, {"TMUX_TMPDIR=/run/user/7/"}, home, "/run/user/7/tmux-7/default"},
        {{"tmux"}, {"TMUX_TMPDIR=run"}, home, home + "/run/tmux-7/default"},
        {{"tmux"}, {"TMUX=/tmp/tmux-7/outer,812,0"}, home, "/tmp/tmux-7/outer"},
        {{"tmux", "-L", "work"}, {"TMUX=/tmp/tmux-7/outer,812,0"}, home, "/tmp/tmux-7/work"},
        {{"tmux", "-S", "one"}, {}, "", std::nullopt},
        {{"tmux", "-L"}, {}, home, std::nullopt},
        {{}, {}, home, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TmuxPaneFinder::socketPath(c.arguments, c.environment, c.directory, 7), c.socket)
            << testing::PrintToString(c.arguments) << " " << testing::PrintToString(c.environment);
    }
}

} // namespace
} // namespace korvane
