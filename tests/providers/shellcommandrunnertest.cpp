#include "providers/shellcommandrunner.h"

#include "files/gitrepo.h"
#include "platform/fake/fakeprocessrunner.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/customprovider.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <thread>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using RunResult = ShellCommandRunner::RunResult;
constexpr auto trusted = ShellCommandRunner::Folder::trusted;

// Real commands through /bin/sh.
class ShellCommandRunnerTest : public testing::Test {
protected:
    std::string root() const { return std::filesystem::canonical(dir.path()).string(); }

    test::TempDir dir;
    test::LogCapture log;
    ShellCommandRunner runner{std::make_shared<LinuxProcessRunner>()};
};

TEST_F(ShellCommandRunnerTest, ReturnsStatusAndOutputAsPrinted) {
    EXPECT_EQ(runner.run("printf 'a\\nb\\n'", root(), 5), (RunResult{0, "a\nb\n"}));
    EXPECT_EQ(runner.run("echo x; exit 3", root(), 5), (RunResult{3, "x\n"}));
    EXPECT_EQ(runner.run("echo oops >&2", root(), 5), (RunResult{0, ""}));
    EXPECT_EQ(runner.run("printf 'ok\\377'", root(), 5), (RunResult{0, ""}));
    EXPECT_EQ(runner.runLive("printf live", root(), "", "", "", false, 5), (RunResult{0, "live"}));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ShellCommandRunnerTest, RunsInTheRootWithTheOverridesReplacingInheritedValues) {
    ::setenv("PROJECT_ROOT", "/inherited", 1);
    ::setenv("KORVANE_QUERY", "inherited", 1);
    const std::string print = "pwd; printf '%s|%s|%s|%s|%s\\n' \"$PROJECT_ROOT\" \"$KORVANE_QUERY\" "
                              "\"$KORVANE_APP_BUNDLE_ID\" \"$KORVANE_APP_NAME\" \"$KORVANE_CASE_SENSITIVE\"";
    const auto scan = runner.run(print, root(), 5);
    const auto live = runner.runLive(print, root(), "it's $HOME", "org.gnome.Terminal", "Terminal", true, 5);
    const auto insensitive = runner.runLive(print, root(), "q", "b", "n", false, 5);
    ::unsetenv("PROJECT_ROOT");
    ::unsetenv("KORVANE_QUERY");

    EXPECT_EQ(scan.output, root() + "\n" + root() + "|inherited|||\n");
    EXPECT_EQ(live.output, root() + "\n" + root() + "|it's $HOME|org.gnome.Terminal|Terminal|1\n");
    EXPECT_EQ(insensitive.output, root() + "\n" + root() + "|q|b|n|0\n");
}

TEST_F(ShellCommandRunnerTest, AMissingRootFailsTheLaunchAndTheScanRunNamesTheCommand) {
    const std::string missing = (dir.path() / "gone").string();
    EXPECT_EQ(runner.run("echo hi", missing, 5, trusted), (RunResult{-1, ""}));
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Shell command failed for 'echo hi': No such file or directory"));
    log.clear();
    EXPECT_EQ(runner.runLive("echo hi", missing, "q", "b", "n", false, 5, trusted), (RunResult{-1, ""}));
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ShellCommandRunnerTest, StandardInputIsTheNullDevice) {
    EXPECT_EQ(runner.run("cat; echo done", root(), 5), (RunResult{0, "done\n"}));
}

TEST_F(ShellCommandRunnerTest, ATimedOutCommandReportsTerminateEvenWhenItExitsZero) {
    const auto result = runner.run("trap 'exit 0' TERM; echo partial; sleep 5 & wait", root(), 0.5);
    EXPECT_EQ(result, (RunResult{15, "partial\n"}));
}

// Scan runs share two permits; live runs take none.
TEST(ShellCommandRunnerPermitsTest, AtMostTwoScanRunsAtOnceWhileLiveRunsStartAtOnce) {
    test::LogCapture log;
    auto processes = std::make_shared<FakeProcessRunner>();
    ShellCommandRunner runner(processes);
    processes->hold();
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] { runner.run("scan", "/p", 10, trusted); });
    }
    threads.emplace_back([&] { runner.runLive("live", "/p", "q", "b", "n", false, 3, trusted); });

    ASSERT_TRUE(processes->waitUntilHeld(3));
    EXPECT_FALSE(processes->waitUntilHeld(4, std::chrono::milliseconds(50)));
    processes->releaseAll();
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(processes->runCount(), 5u);
    EXPECT_EQ(processes->maxConcurrentRuns(), 3u);

    // A failed launch gives its permit back as well.
    processes->respondByDefault({.launchError = ENOENT});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(runner.run("scan", "/p", 10, trusted).status, -1);
    }
}

TEST(ShellCommandRunnerRequestTest, RunsTheCommandTextAsOneArgumentOfShDashC) {
    auto processes = std::make_shared<FakeProcessRunner>();
    ShellCommandRunner runner(processes);
    runner.run("echo \"$1\" 'a b'; ls", "/p", 10, trusted);
    runner.runLive("x", "/p", "q", "b", "n", true, 3, trusted);
    const auto requests = processes->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].executable, "/bin/sh");
    EXPECT_THAT(requests[0].arguments, ElementsAre("-c", "echo \"$1\" 'a b'; ls"));
    EXPECT_EQ(requests[0].workingDirectory, "/p");
    EXPECT_EQ(requests[0].timeout, 10);
    EXPECT_EQ(requests[1].timeout, 3);
    EXPECT_EQ(requests[0].killGrace, ShellCommandRunner::kTerminationGrace);
    EXPECT_EQ(requests[0].outputLimit, 16u * 1024 * 1024);
    EXPECT_EQ(requests[0].errorOutput, ProcessRequest::ErrorOutput::discard);
}

// In a folder not trusted the command's time limit covers the reading of the configuration as a
// whole: what the listing took is not given to the rest of the reading again.
TEST(ShellCommandRunnerRequestTest, TheReadingOfTheConfigurationKeepsToTheCommandsTimeLimit) {
    const test::TempDir root;
    auto processes = std::make_shared<FakeProcessRunner>();
    // No repository holds the folder.
    processes->respond("--show-toplevel", {.exitStatus = 128});
    processes->respond("index", {.exitStatus = 128});
    ShellCommandRunner runner(processes);
    processes->hold();
    std::thread command([&] { runner.runLive("x", root.path().string(), "q", "b", "n", false, 10); });
    ASSERT_TRUE(processes->waitUntilHeld(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    processes->releaseAll();
    command.join();
    const auto requests = processes->requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const ProcessRequest& request) {
        return std::find(request.arguments.begin(), request.arguments.end(), "--list") !=
               request.arguments.end();
    }));
    EXPECT_EQ(requests.back().executable, "/bin/sh");
    EXPECT_LT(requests.back().timeout, 9.75);
}

// A reason longer than a line may hold is cut at that line's length, not at the length of one name in it.
TEST(ShellCommandRunnerRequestTest, ALongReasonIsCutAtTheLengthOfALine) {
    const test::TempDir temp;
    std::filesystem::path root = temp.path();
    for (int level = 0; level < 10; ++level) {
        root /= std::string(240, 'a' + level);
    }
    std::filesystem::create_directories(root);
    auto processes = std::make_shared<FakeProcessRunner>();
    processes->respondByDefault({.exitStatus = 128});
    ShellCommandRunner runner(processes);
    runner.runLive("x", root.string(), "q", "b", "n", false, 10);
    const auto reason = runner.waitingReason(root.string());
    ASSERT_TRUE(reason);
    EXPECT_GT(reason->size(), 1000u);
    EXPECT_LE(reason->size(), 2000u + std::string_view("…").size());
    EXPECT_TRUE(reason->ends_with("…"));
}

} // namespace
} // namespace korvane
