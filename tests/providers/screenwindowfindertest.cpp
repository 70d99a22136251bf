#include "providers/screenwindowfinder.h"

#include "platform/fake/fakeclock.h"
#include "platform/fake/fakeprocessrunner.h"
#include "platform/fake/fakeprocesstable.h"
#include "support/tempdir.h"

#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
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

// A listening socket's file at `path`, as a screen server leaves it.
void bindSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0) << path;
    ::close(fd);
}

// An xterm whose shell in kStart attached a screen client (typed "screen -r" there) to the session
// "200.work" in the user's session folder; the session runs window 0 in kApp and window 1 in kWeb,
// and answers that its display shows window 1.
class Screen {
public:
    Screen() {
        program = fs::canonical(bin.write("screen", "")).string();
        fs::permissions(program, fs::perms::owner_all);
        folder = (sessions.path() / ("S-" + loginName())).string();
        privateFolder(folder);
        bindSocket(fs::path(folder) / "200.work");

        addJob(kShell, kTerminal, "pts/1", kStart, "sh");
        addJob(kClient, kShell, "pts/1", kStart, "screen");
        table->setExecutable(kClient, program);
        table->setEnvironment(kClient, std::vector<std::string>{"HOME=/home/user"});
        table->setForegroundGroup("pts/1", kClient);
        addJob(kServer, 1, std::nullopt, kStart, "screen");
        table->setExecutable(kServer, program);
        table->setOpenFiles(kServer, std::vector<std::string>{"/dev/null", "/dev/pts/1", "socket:[7]",
                                                              "/dev/ptmx", "/dev/ptmx"});
        addWindow(201, 0, "pts/5", kApp);
        addWindow(202, 1, "pts/6", kWeb);
        runner->respond("number", {0, "1 (sh)"});
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
    static void privateFolder(const fs::path& path) {
        fs::create_directories(path);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
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
        ScreenWindowFinder finder(table, runner, bin.path().string(), clock, sessions.path().string());
        return read(finder);
    }

    test::TempDir bin, sessions;
    std::string program, folder;
    FakeClock clock;
    std::shared_ptr<FakeProcessTable> table = std::make_shared<FakeProcessTable>();
    std::shared_ptr<FakeProcessRunner> runner = std::make_shared<FakeProcessRunner>(&clock);
};

const std::vector<std::string> kUnknown{"pts/1:-", "pts/1:-"};

TEST(ScreenWindowFinderTest, TheWindowTheDisplayShowsSpeaksForTheTerminal) {
    Screen screen;
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kWeb});
    ASSERT_EQ(screen.runner->requests().size(), 1u);
    const ProcessRequest request = screen.runner->requests().front();
    EXPECT_EQ(request.executable, screen.program);
    EXPECT_EQ(request.arguments, (std::vector<std::string>{"-S", "200.work", "-Q", "number"}));
    EXPECT_FALSE(request.inheritsEnvironment);
    EXPECT_EQ(request.environment,
              (std::vector<std::pair<std::string, std::string>>{{"SCREENDIR", screen.folder}}));
    EXPECT_LE(request.timeout + request.killGrace, 0.05);
    // A question's answer socket left behind by a question cut off is no second session.
    bindSocket(fs::path(screen.folder) / "200.work-queryA");
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kWeb});

    // The session's folder named by the client's $SCREENDIR.
    const std::string chosen = (screen.sessions.path() / "chosen").string();
    Screen::privateFolder(chosen);
    fs::rename(fs::path(screen.folder) / "200.work", fs::path(chosen) / "200.work");
    screen.table->setEnvironment(kClient, std::vector<std::string>{"SCREENDIR=" + chosen + "/"});
    screen.runner->respond("number", {0, "0 (sh)"});
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kApp});
    EXPECT_EQ(screen.runner->requests().back().environment.front().second, chosen);
}

// A session started in this terminal runs below its client: its other windows are not what the
// terminal shows, whether or not the shown one can be known.
TEST(ScreenWindowFinderTest, TheWindowsOfASessionStartedHereCountOnlyAsShown) {
    Screen screen;
    screen.table->addProcess(kServer, kClient, std::nullopt, kStart);
    screen.table->setName(kServer, "screen");
    screen.table->setExecutable(kServer, screen.program);
    screen.table->setOpenFiles(kServer, std::vector<std::string>{"/dev/pts/1", "/dev/ptmx", "/dev/ptmx"});
    EXPECT_EQ(screen.read(), std::vector<std::string>{"pts/1:" + kWeb});
    screen.runner->respond("number", {1, ""});
    EXPECT_EQ(screen.read(), kUnknown);
}

// Wherever the window cannot be known for certain, the terminal gives no folder: not the one screen
// was attached in, nor another window's.
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
         [](Screen& s) { s.table->setExecutable(kClient, "/usr/local/bin/screen"); }},
        {"a server of another program", [](Screen& s) { s.table->setExecutable(kServer, std::nullopt); }},
        {"a session folder open to others",
         [](Screen& s) { fs::permissions(s.folder, fs::perms::others_exec, fs::perm_options::add); }},
        {"a $SCREENDIR open to others",
         [](Screen& s) {
             const std::string open = (s.sessions.path() / "open").string();
             fs::create_directories(open);
             fs::permissions(open, fs::perms::owner_all | fs::perms::others_exec, fs::perm_options::replace);
             bindSocket(fs::path(open) / "200.work");
             s.table->setEnvironment(kClient, std::vector<std::string>{"SCREENDIR=" + open});
         }},
        {"a session name that is no socket",
         [](Screen& s) {
             fs::remove(fs::path(s.folder) / "200.work");
             s.sessions.write("S-" + loginName() + "/200.work", "");
         }},
        {"two sessions holding the terminal",
         [](Screen& s) {
             bindSocket(fs::path(s.folder) / "300.other");
             s.addJob(300, 1, std::nullopt, "/", "screen");
             s.table->setExecutable(300, s.program);
             s.table->setOpenFiles(300, std::vector<std::string>{"/dev/pts/1"});
         }},
        {"a session that refuses",
         [](Screen& s) {
             s.runner->respond("number", {1, "No screen session found.\n"});
         }},
        {"an answer that is no number",
         [](Screen& s) {
             s.runner->respond("number", {0, "no window\n"});
         }},
        {"a window the session does not run",
         [](Screen& s) {
             s.runner->respond("number", {0, "7 (sh)"});
         }},
        {"a window of another session",
         [](Screen& s) {
             s.table->setEnvironment(202, std::vector<std::string>{"STY=300.other", "WINDOW=1"});
         }},
        {"a screen inside the window",
         [](Screen& s) {
             s.addJob(203, 202, "pts/6", kWeb, "screen");
             s.table->setForegroundGroup("pts/6", 203);
         }},
    };
    for (const auto& [name, change] : cases) {
        Screen screen;
        change(screen);
        EXPECT_EQ(screen.read(), kUnknown) << name;
    }
    Screen screen;
    ScreenWindowFinder withoutRunner(screen.table, nullptr, screen.bin.path().string(), screen.clock,
                                     screen.sessions.path().string());
    EXPECT_EQ(screen.read(withoutRunner), kUnknown);
}

// One late answer may be a busy machine: the session is asked again. Late twice in a row, it is not
// waited for again for a while.
TEST(ScreenWindowFinderTest, ASessionThatDoesNotAnswerIsNotWaitedForAgainForAWhile) {
    Screen screen;
    ScreenWindowFinder finder(screen.table, screen.runner, screen.bin.path().string(), screen.clock,
                              screen.sessions.path().string());
    screen.runner->respond("number", {0, "1 (sh)", "", 1.0});
    EXPECT_EQ(screen.read(finder), kUnknown);
    EXPECT_EQ(screen.read(finder), kUnknown);
    EXPECT_EQ(screen.runner->runCount(), 2u);
    screen.runner->respond("number", {0, "1 (sh)"});
    screen.clock.advance(ScreenWindowFinder::silenceMemory - 1);
    EXPECT_EQ(screen.read(finder), kUnknown);
    EXPECT_EQ(screen.runner->runCount(), 2u);
    screen.clock.advance(1);
    EXPECT_EQ(screen.read(finder), std::vector<std::string>{"pts/1:" + kWeb});

    screen.runner->respond("number", {0, "1 (sh)", "", 1.0});
    EXPECT_EQ(screen.read(finder), kUnknown);
    screen.runner->respond("number", {0, "0 (sh)"});
    EXPECT_EQ(screen.read(finder), std::vector<std::string>{"pts/1:" + kApp});
    EXPECT_EQ(screen.runner->runCount(), 5u);
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
