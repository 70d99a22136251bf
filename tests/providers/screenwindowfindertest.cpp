#include "providers/screenwindowfinder.h"

#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakeprocesstable.h"
#include "platform/fake/inlineworkerpool.h"
#include "providers/projectdetector.h"
#include "support/faketmuxservers.h"
#include "support/tempdir.h"
#include "support/unixsocket.h"

#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

const std::string kApp = "/home/user/code/app";
const std::string kWeb = "/home/user/code/web";
const std::string kStart = "/home/user/code/start";

constexpr std::int32_t kTerminal = 100;
constexpr std::int32_t kShell = 101;
constexpr std::int32_t kClient = 102;
constexpr std::int32_t kServer = 200;

std::string loginName() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr ? entry->pw_name : "";
}

// An xterm whose shell in kStart attached a screen client (typed "screen -r" there) to the session
// "200.work" in the user's session folder; the session runs window 0 in kApp and window 1 in kWeb,
// and answers that its display shows window 1.
class Screen {
public:
    Screen() {
        const std::string program = bin.write("screen", "").string();
        fs::permissions(program, fs::perms::owner_all);
        struct stat info {};
        ::stat(program.c_str(), &info);
        screenFile = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
        folder = (sessions.path() / ("S-" + loginName())).string();
        privateFolder(folder);
        addSession(folder);

        addJob(kShell, kTerminal, "pts/1", kStart, "sh");
        addJob(kClient, kShell, "pts/1", kStart, "screen");
        table->setExecutable(kClient, screenFile);
        table->setEnvironment(kClient, std::vector<std::string>{"HOME=/home/user"});
        table->setForegroundGroup("pts/1", kClient);
        addJob(kServer, 1, std::nullopt, kStart, "screen");
        table->setExecutable(kServer, screenFile);
        table->setOpenFiles(kServer, std::vector<std::string>{"/dev/null", "/dev/pts/1", "socket:[7]",
                                                              "/dev/ptmx", "/dev/ptmx"});
        addWindow(201, 0, "pts/5", kApp);
        addWindow(202, 1, "pts/6", kWeb);
        servers->respond("200.work", "1 (sh)");
    }
    ~Screen() {
        for (int fd : sockets) {
            ::close(fd);
        }
    }

    void addJob(std::int32_t pid, std::int32_t parent, std::optional<std::string> tty, std::string cwd,
                std::string name) {
        table->addProcess(pid, parent, std::move(tty), std::move(cwd));
        table->setName(pid, std::move(name));
    }
    void addWindow(std::int32_t pid, int number, const std::string& tty, const std::string& cwd) {
        addJob(pid, kServer, tty, cwd, "sh");
        table->setEnvironment(pid,
                              std::vector<std::string>{"STY=200.work", "WINDOW=" + std::to_string(number)});
        table->setForegroundGroup(tty, pid);
    }
    // The session's socket "200.work" in `where`, on which its server listens.
    void addSession(const fs::path& where, const std::string& name = "200.work",
                    std::int32_t server = kServer) {
        sockets.push_back(test::boundSocket((where / name).string()));
        table->setSocketListener((where / name).string(), SocketListener{server, ::getuid()});
    }
    static void privateFolder(const fs::path& path) {
        fs::create_directories(path);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
    }

    ScreenWindowFinder finder() {
        return ScreenWindowFinder(table, servers, pool, bin.path().string(), clock, sessions.path().string());
    }
    // Each process the terminal then reads, as "device:folder" ("-" for none).
    std::vector<std::string> read(ScreenWindowFinder& finder) {
        std::vector<std::string> described;
        for (const auto& entry : finder.withWindowsShown(ProcessInfo::descendants(kTerminal, *table))) {
            described.push_back(entry.tty.value_or("-") + ":" + entry.cwd.value_or("-"));
        }
        return described;
    }
    std::vector<std::string> read() {
        ScreenWindowFinder once = finder();
        return read(once);
    }
    // A detector of the terminal's project, its title naming the folder its shell was in before it attached.
    std::unique_ptr<ProjectDetector> detector() {
        auto apps = std::make_shared<FakeActiveAppProvider>();
        apps->setFrontmost(FrontmostApplication{"xterm", kTerminal});
        apps->setTitle(kTerminal, "user@host: ~/code/start");
        auto files = std::make_shared<FakeFileProbe>("/home/user");
        for (const std::string& project : {kApp, kWeb, kStart}) {
            files->addDirectory(project + "/.git");
        }
        return std::make_unique<ProjectDetector>(
            apps, table, files, nullptr,
            std::make_unique<ScreenWindowFinder>(table, servers, pool, bin.path().string(), clock,
                                                 sessions.path().string()));
    }
    std::optional<std::string> project() { return detector()->detectProjectRoot(); }

    test::TempDir bin, sessions;
    FileIdentity screenFile;
    std::string folder;
    std::vector<int> sockets;
    FakeClock clock;
    InlineWorkerPool pool;
    std::shared_ptr<FakeProcessTable> table = std::make_shared<FakeProcessTable>();
    std::shared_ptr<test::FakeTmuxServers> servers = std::make_shared<test::FakeTmuxServers>(&clock);
};

const std::vector<std::string> kUnknown{"pts/1:-", "pts/1:-"};

TEST(ScreenWindowFinderTest, TheWindowTheDisplayShowsSpeaksForTheTerminal) {
    Screen screen;
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kWeb});
    ASSERT_EQ(screen.servers->requests().size(), 1u);
    const ProcessRequest request = screen.servers->requests().front();
    EXPECT_EQ(request.executable, (screen.bin.path() / "screen").string());
    EXPECT_EQ(request.arguments, (std::vector<std::string>{"-S", "200.work", "-Q", "number"}));
    EXPECT_FALSE(request.inheritEnvironment);
    EXPECT_EQ(request.environment,
              (std::vector<std::pair<std::string, std::string>>{{"SCREENDIR", screen.folder}}));
    EXPECT_EQ(request.workingDirectory, "/");
    EXPECT_EQ(screen.project(), kWeb);
    // The answer socket a question cut off leaves behind is no second session; nor is one on which
    // another process (the question's client) listens.
    screen.sockets.push_back(test::boundSocket(screen.folder + "/200.work-queryA", false));
    screen.addSession(screen.folder, "200.work-queryB", 555);
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kWeb});

    // The session's folder named by the client's $SCREENDIR.
    const fs::path chosen = screen.sessions.path() / "chosen";
    Screen::privateFolder(chosen);
    screen.addSession(chosen);
    screen.table->setEnvironment(kClient, std::vector<std::string>{"SCREENDIR=" + chosen.string() + "/"});
    fs::remove(fs::path(screen.folder) / "200.work");
    screen.servers->respond("200.work", "0 (sh)");
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kApp});
    EXPECT_EQ(screen.servers->requests().back().environment.front().second, chosen.string());
}

// A session started in this terminal runs below its client: its other windows are not what the
// terminal shows, whether or not the shown one can be known.
// The window shown at the last answer, told by the keys it read, needs no question; another window does.
TEST(ScreenWindowFinderTest, TheWindowShownAtTheLastAnswerIsToldByItsReads) {
    Screen screen;
    const auto detector = screen.detector();
    for (std::int32_t pid : {kClient, 201, 202}) {
        screen.table->setReads(pid, ProcessReads{10, 10});
    }
    const auto trigger = [&] { return detector->detectProjectRoot(FrontmostApplication{"xterm", kTerminal}, true); };
    EXPECT_EQ(detector->detectProjectRoot(), kWeb);
    detector->takeTabBaseline();
    screen.table->setReads(202, ProcessReads{12, 12});
    EXPECT_EQ(trigger(), kWeb);
    EXPECT_EQ(screen.servers->requests().size(), 1u);

    screen.servers->respond("200.work", "0 (sh)");
    detector->takeTabBaseline();
    screen.table->setReads(201, ProcessReads{12, 12});
    EXPECT_EQ(trigger(), kApp);
    EXPECT_EQ(screen.servers->requests().size(), 2u);
}

TEST(ScreenWindowFinderTest, TheWindowsOfASessionStartedHereCountOnlyAsShown) {
    Screen screen;
    screen.table->addProcess(kServer, kClient, std::nullopt, kStart);
    screen.table->setName(kServer, "screen");
    screen.table->setOpenFiles(kServer, std::vector<std::string>{"/dev/pts/1", "/dev/ptmx", "/dev/ptmx"});
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kWeb});
    screen.servers->refuse("200.work");
    EXPECT_EQ(screen.read(), kUnknown);
}

// Wherever the window cannot be known for certain, the terminal gives no folder: not the one screen
// was attached in, nor another window's; and no project, not even the one its title names (the folder
// of the prompt that ran screen, or whatever a window last set).
TEST(ScreenWindowFinderTest, AWindowThatCannotBeKnownGivesNoFolder) {
    const std::pair<const char*, std::function<void(Screen&)>> cases[] = {
        {"a second display",
         [](Screen& s) {
             s.table->setOpenFiles(kServer,
                                   std::vector<std::string>{"/dev/pts/1", "/dev/pts/9", "/dev/ptmx"});
         }},
        {"the server on another terminal",
         [](Screen& s) { s.table->setOpenFiles(kServer, std::vector<std::string>{"/dev/pts/9"}); }},
        {"a client of another program",
         [](Screen& s) {
             s.table->setExecutable(kClient, FileIdentity{9, 9});
         }},
        {"a client that sees other files",
         [](Screen& s) {
             s.table->setMountNamespace(kClient, FileIdentity{4, 1});
         }},
        {"a server of another program", [](Screen& s) { s.table->setExecutable(kServer, std::nullopt); }},
        {"a socket another process listens on",
         [](Screen& s) {
             s.table->setSocketListener(s.folder + "/200.work", SocketListener{300, ::getuid()});
         }},
        {"a socket another user listens on",
         [](Screen& s) {
             s.table->setSocketListener(s.folder + "/200.work", SocketListener{kServer, ::getuid() + 1});
         }},
        {"a session folder open to others",
         [](Screen& s) { fs::permissions(s.folder, fs::perms::others_exec, fs::perm_options::add); }},
        {"a $SCREENDIR open to others",
         [](Screen& s) {
             const fs::path open = s.sessions.path() / "open";
             fs::create_directories(open);
             fs::permissions(open, fs::perms::owner_all | fs::perms::others_exec, fs::perm_options::replace);
             s.addSession(open);
             s.table->setEnvironment(kClient, std::vector<std::string>{"SCREENDIR=" + open.string()});
         }},
        {"a session name that is no socket",
         [](Screen& s) {
             fs::remove(fs::path(s.folder) / "200.work");
             s.sessions.write("S-" + loginName() + "/200.work", "");
         }},
        {"two sessions holding the terminal",
         [](Screen& s) {
             s.addJob(300, 1, std::nullopt, "/", "screen");
             s.table->setExecutable(300, s.screenFile);
             s.table->setOpenFiles(300, std::vector<std::string>{"/dev/pts/1"});
             s.addSession(s.folder, "300.other", 300);
         }},
        {"a session that refuses", [](Screen& s) { s.servers->refuse("200.work"); }},
        {"an answer that is no number", [](Screen& s) { s.servers->respond("200.work", "no window\n"); }},
        {"a window the session does not run", [](Screen& s) { s.servers->respond("200.work", "7 (sh)"); }},
        {"a window of another session",
         [](Screen& s) {
             s.table->setEnvironment(202, std::vector<std::string>{"STY=300.other", "WINDOW=1"});
         }},
        {"a screen inside the window",
         [](Screen& s) {
             s.addJob(203, 202, "pts/6", kWeb, "screen");
             s.table->setForegroundGroup("pts/6", 203);
         }},
        {"a tmux client inside the window",
         [](Screen& s) {
             s.addJob(203, 202, "pts/6", kWeb, "tmux: client");
             s.table->setForegroundGroup("pts/6", 203);
         }},
    };
    for (const auto& [name, change] : cases) {
        Screen screen;
        change(screen);
        EXPECT_EQ(screen.read(), kUnknown) << name;
        EXPECT_EQ(screen.project(), std::nullopt) << name;
    }
}

// A session answering after the wait is waited for again at the next detection; one that does not
// answer at all is asked in the background and not waited for until it answers.
TEST(ScreenWindowFinderTest, ASessionThatDoesNotAnswerIsNotWaitedFor) {
    Screen screen;
    ScreenWindowFinder finder = screen.finder();
    screen.servers->respond("200.work", "1 (sh)", ServerQuestions::waitLimit * 2);
    EXPECT_EQ(screen.read(finder), kUnknown);
    screen.servers->respond("200.work", "1 (sh)");
    EXPECT_EQ(screen.read(finder), std::vector<std::string>{"pts/1:" + kWeb});

    screen.servers->respond("200.work", "1 (sh)", ScreenWindowFinder::questionTimeout + 1);
    for (int detection = 0; detection < 3; ++detection) {
        EXPECT_EQ(screen.read(finder), kUnknown);
    }
    screen.servers->respond("200.work", "0 (sh)");
    EXPECT_EQ(screen.read(finder), kUnknown) << "asked in the background, not waited for";
    EXPECT_EQ(screen.read(finder), std::vector<std::string>{"pts/1:" + kApp});
}

TEST(ScreenWindowFinderTest, ReadsTheWindowNumberOfTheAnswer) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"0 (bash)", 0},
        {"12 (vim (main))", 12},
        {"3\n", 3},
        {"", std::nullopt},
        {"-1 (x)", std::nullopt},
        {"Remove dead screens with 'screen -wipe'.\n4 (sh)", 4},
        {"4 (sh)\nno window", std::nullopt},
        {"x 1", std::nullopt},
        {"1x (y)", std::nullopt},
        {"99999999999 (x)", std::nullopt},
    };
    for (const auto& [answer, number] : cases) {
        EXPECT_EQ(ScreenWindowFinder::windowNumber(answer), number) << answer;
    }
}

} // namespace
} // namespace korvane
