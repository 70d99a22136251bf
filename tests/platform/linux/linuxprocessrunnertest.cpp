#include "platform/linux/linuxprocessrunner.h"

#include "platform/linux/childreaper.h"
#include "platform/linux/xdgurlopener.h"
#include "support/tempdir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using Ending = ProcessResult::Ending;
using Clock = std::chrono::steady_clock;

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

std::string readProcFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Direct children of this process, whatever their state (a zombie counts), and live processes
// whose environment carries `marker` (the descendants of one run).
struct Leftovers {
    int children = 0;
    int marked = 0;
    std::vector<pid_t> markedPids;
};

Leftovers leftovers(const std::string& marker) {
    Leftovers found;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = readProcFile(entry.path() / "stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(close + 2));
        std::string state, parent;
        fields >> state >> parent;
        if (parent == self) {
            ++found.children;
        }
        if (state != "Z" && readProcFile(entry.path() / "environ").find(marker) != std::string::npos) {
            ++found.marked;
            found.markedPids.push_back(static_cast<pid_t>(std::stoi(name)));
        }
    }
    return found;
}

class LinuxProcessRunnerTest : public testing::Test {
protected:
    void SetUp() override { descriptorsBefore = openDescriptors(); }

    // Every run leaves no child of ours, no descendant and no descriptor behind. A descendant that
    // was killed may need a moment to disappear from /proc, so that part looks a few times.
    void TearDown() override {
        EXPECT_EQ(openDescriptors(), descriptorsBefore);
        Leftovers left = leftovers(marker);
        for (int attempt = 0; attempt < 100 && (left.children > 0 || left.marked > 0); ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            left = leftovers(marker);
        }
        EXPECT_EQ(left.children, 0);
        EXPECT_EQ(left.marked, 0);
    }

    ProcessRequest shell(const std::string& command, double timeout = 5.0) const {
        ProcessRequest request;
        request.executable = "/bin/sh";
        request.arguments = {"-c", command};
        request.environment = {{"KORVANE_RUN_MARKER", marker}};
        request.timeout = timeout;
        request.killGrace = 0.1;
        return request;
    }

    ProcessResult run(const ProcessRequest& request) {
        const auto start = Clock::now();
        auto result = runner.run(request);
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().description);
        return result ? *result : ProcessResult{};
    }

    const std::string marker = "korvane-" + std::to_string(::getpid()) + "-" +
                               testing::UnitTest::GetInstance()->current_test_info()->name();
    LinuxProcessRunner runner;
    std::size_t descriptorsBefore = 0;
    double elapsed = 0;
};

TEST_F(LinuxProcessRunnerTest, ReportsExitCodesSignalsAndOutput) {
    struct Case {
        std::string command;
        Ending ending;
        int status;
        std::string output;
    };
    const Case cases[] = {
        {"printf 'a\\nb\\n'", Ending::exited, 0, "a\nb\n"},
        {"echo x; exit 3", Ending::exited, 3, "x\n"},
        {"echo only-errors >&2", Ending::exited, 0, ""},
        {"echo before; kill -KILL $$", Ending::signaled, SIGKILL, "before\n"},
    };
    for (const auto& c : cases) {
        const auto result = run(shell(c.command));
        EXPECT_EQ(result.ending, c.ending) << c.command;
        EXPECT_EQ(result.status, c.status) << c.command;
        EXPECT_EQ(result.output, c.output) << c.command;
        EXPECT_FALSE(result.stillRunning) << c.command;
    }
}

// Our own standard input holds a line; the child must not get it (nor wait on a terminal).
TEST_F(LinuxProcessRunnerTest, StandardInputIsTheNullDevice) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "secret\n", 7), 7);
    ::close(fds[1]);
    const int savedInput = ::dup(STDIN_FILENO);
    ::dup2(fds[0], STDIN_FILENO);
    ::close(fds[0]);
    const auto result = run(shell("read line; echo \"$?:$line\""));
    ::dup2(savedInput, STDIN_FILENO);
    ::close(savedInput);
    EXPECT_EQ(result.output, "1:\n");
}

TEST_F(LinuxProcessRunnerTest, ReadsOutputLargerThanThePipeWhileTheChildRuns) {
    const auto result = run(shell("head -c 3000000 /dev/zero"));
    EXPECT_EQ(result.ending, Ending::exited);
    EXPECT_EQ(result.output.size(), 3000000u);
}

TEST_F(LinuxProcessRunnerTest, CapturesStandardErrorUpToItsLimitWhenAsked) {
    auto request = shell("head -c 5000 /dev/zero | tr '\\0' e >&2; echo out");
    request.errorOutput = ProcessRequest::ErrorOutput::capture;
    request.errorOutputLimit = 1000;
    const auto result = run(request);
    EXPECT_EQ(result.output, "out\n");
    EXPECT_EQ(result.errorOutput, std::string(1000, 'e'));
}

TEST_F(LinuxProcessRunnerTest, PassesArgumentsWithoutAShellAndReplacesEnvironment) {
    ::setenv("KORVANE_INHERITED", "old", 1);
    ::setenv("KORVANE_REMOVED", "gone?", 1);
    ProcessRequest request;
    request.executable = "/usr/bin/printenv";
    request.arguments = {"KORVANE_INHERITED", "KORVANE_REMOVED", "KORVANE_RUN_MARKER"};
    request.environment = {{"KORVANE_INHERITED", "new $HOME"}, {"KORVANE_RUN_MARKER", marker}};
    request.removedEnvironment = {"KORVANE_REMOVED"};
    const auto result = run(request);
    ::unsetenv("KORVANE_INHERITED");
    ::unsetenv("KORVANE_REMOVED");
    // printenv fails when one of the names is unset, and prints the others.
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "new $HOME\n" + marker + "\n");
}

TEST_F(LinuxProcessRunnerTest, AChildThatInheritsNothingHasOnlyItsOwnEnvironmentAndTheRunsMark) {
    ::setenv("KORVANE_INHERITED", "old", 1);
    ProcessRequest request;
    request.executable = "/usr/bin/env";
    request.inheritEnvironment = false;
    request.environment = {{"KORVANE_GIVEN", "given"}};
    const auto result = run(request);
    ::unsetenv("KORVANE_INHERITED");
    EXPECT_TRUE(result.output.starts_with("KORVANE_GIVEN=given\nKORVANE_RUN_ID=")) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 2);
}

TEST_F(LinuxProcessRunnerTest, StartsInTheWorkingDirectoryInItsOwnProcessGroup) {
    test::TempDir dir;
    auto request = shell("pwd; cut -d' ' -f5 /proc/$$/stat; echo $$");
    request.workingDirectory = dir.path().string();
    const auto result = run(request);
    std::istringstream lines(result.output);
    std::string cwd, group, pid;
    lines >> cwd >> group >> pid;
    EXPECT_EQ(fs::canonical(cwd), fs::canonical(dir.path()));
    EXPECT_EQ(group, pid);
    EXPECT_NE(group, std::to_string(::getpgrp()));
}

TEST_F(LinuxProcessRunnerTest, LaunchFailuresAreValuesWithTheSystemsReason) {
    ProcessRequest missing;
    missing.executable = "/nonexistent/korvane-tool";
    auto result = runner.run(missing);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, ENOENT);
    EXPECT_EQ(result.error().description, "No such file or directory");

    auto request = shell("true");
    request.workingDirectory = "/nonexistent/korvane-root";
    result = runner.run(request);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, ENOENT);
}

TEST_F(LinuxProcessRunnerTest, OutputPastTheLimitKillsTheGroupAndFails) {
    auto request = shell("yes");
    request.outputLimit = 256 * 1024;
    const auto result = run(request);
    EXPECT_EQ(result.ending, Ending::outputLimitExceeded);
    EXPECT_EQ(result.status, SIGKILL);
    EXPECT_EQ(result.output.size(), request.outputLimit);
    EXPECT_FALSE(result.succeeded());
}

// Runs sharing one budget keep within it together, on standard output and captured error output
// alike, each within its own limit (the room they keep it in taken from the budget): whatever they
// print past it fails the run that finds it spent.
TEST_F(LinuxProcessRunnerTest, RunsSharingABudgetKeepWithinItTogether) {
    struct Case {
        const char* name;
        const char* command;
        bool withinBudget;
    };
    constexpr std::size_t runs = 4;
    constexpr std::size_t budgetBytes = 512 * 1024;
    const std::vector<Case> cases = {
        {"output within the budget", "head -c 60000 /dev/zero", true},
        {"output past it together", "head -c 200000 /dev/zero", false},
        {"error output past it together", "head -c 200000 /dev/zero >&2", false},
        {"an endless writer", "yes", false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const OutputBudget budget(budgetBytes);
        auto request = shell(testCase.command);
        request.errorOutput = ProcessRequest::ErrorOutput::capture;
        request.errorOutputLimit = budgetBytes;
        request.outputBudget = budget;
        std::vector<ProcessResult> results(runs);
        {
            std::vector<std::jthread> threads;
            for (auto& result : results) {
                threads.emplace_back([&] {
                    auto outcome = runner.run(request);
                    EXPECT_TRUE(outcome.has_value());
                    result = outcome ? std::move(*outcome) : ProcessResult{};
                });
            }
        }
        std::size_t kept = 0;
        std::size_t failed = 0;
        for (const auto& result : results) {
            kept += result.output.size() + result.errorOutput.size();
            failed += result.ending == Ending::outputLimitExceeded ? 1 : 0;
            EXPECT_TRUE(result.succeeded() || result.ending == Ending::outputLimitExceeded);
        }
        EXPECT_LE(kept + budget.left(), budgetBytes);
        EXPECT_EQ(failed == 0, testCase.withinBudget);
    }
}

// The shell ends at once, but the background sleep keeps the output pipe open: the run ends at
// the deadline as a time-out and the sleep dies with the group.
TEST_F(LinuxProcessRunnerTest, AGrandchildHoldingTheOutputEndsAtTheDeadline) {
    const auto result = run(shell("sleep 100 & echo hi", 0.5));
    EXPECT_EQ(result.ending, Ending::timedOut);
    EXPECT_EQ(result.status, SIGTERM);
    EXPECT_EQ(result.output, "hi\n");
    EXPECT_LT(elapsed, 0.5 + 0.1 + 1.0);
}

// A daemon in a session of its own escapes the group signal; the run still returns at the deadline
// plus the grace although its pipe never closes.
TEST_F(LinuxProcessRunnerTest, ReturnsByDeadlinePlusGraceWhenThePipeNeverCloses) {
    const auto result = run(shell("setsid sleep 2 & echo hi", 0.5));
    EXPECT_EQ(result.ending, Ending::timedOut);
    EXPECT_EQ(result.output, "hi\n");
    EXPECT_LT(elapsed, 0.5 + 0.1 + 1.0);
    // The sleeper left the run's group on purpose, so the run could not end it: the test does.
    for (const pid_t pid : leftovers(marker).markedPids) {
        ::kill(pid, SIGKILL);
    }
}

TEST_F(LinuxProcessRunnerTest, ACommandIgnoringTerminateIsKilledAfterTheGrace) {
    const auto result = run(shell("trap '' TERM; while :; do sleep 1; done", 0.5));
    EXPECT_EQ(result.ending, Ending::timedOut);
    EXPECT_EQ(result.status, SIGTERM);
    EXPECT_GE(elapsed, 0.5 + 0.1);
    EXPECT_LT(elapsed, 0.5 + 0.1 + 1.0);
}

// Exiting 0 after the deadline still reports the time-out: the output may be cut short.
TEST_F(LinuxProcessRunnerTest, ARunPastItsDeadlineNeverReportsSuccess) {
    auto request = shell("trap 'echo late; exit 0' TERM; echo early; sleep 5 & wait", 0.5);
    request.killGrace = 1.0;
    const auto result = run(request);
    EXPECT_EQ(result.ending, Ending::timedOut);
    EXPECT_EQ(result.status, SIGTERM);
    EXPECT_EQ(result.output, "early\nlate\n");
    EXPECT_FALSE(result.succeeded());
}

TEST_F(LinuxProcessRunnerTest, CancellationFromAnotherThreadStopsTheGroup) {
    test::TempDir dir;
    const auto started = dir.path() / "started";
    CancellationToken token;
    auto request = shell("touch '" + started.string() + "'; sleep 100; echo never", 30.0);
    request.cancellation = token;
    std::thread canceller([&] {
        while (!fs::exists(started)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        token.cancel();
    });
    const auto result = run(request);
    canceller.join();
    EXPECT_EQ(result.ending, Ending::cancelled);
    EXPECT_EQ(result.status, SIGTERM);
    EXPECT_EQ(result.output, "");
    EXPECT_LT(elapsed, 2.0);

    const auto again = run(request);
    EXPECT_EQ(again.ending, Ending::cancelled);
}

// Two runs at once: the fast one must not wait for the slow one, which it would if the slow
// child had inherited the fast run's pipe.
TEST_F(LinuxProcessRunnerTest, ConcurrentRunsDoNotShareTheirPipes) {
    ProcessResult slow;
    std::thread other([&] { slow = *runner.run(shell("sleep 0.5; echo slow")); });
    ProcessResult fast;
    double fastElapsed = 10;
    for (int i = 0; i < 20; ++i) {
        fast = run(shell("echo fast"));
        fastElapsed = std::min(fastElapsed, elapsed);
    }
    other.join();
    EXPECT_EQ(fast.output, "fast\n");
    EXPECT_EQ(slow.output, "slow\n");
    EXPECT_LT(fastElapsed, 0.4);
}

// A child that a command starts in a session of its own is reparented to Korvane, the subreaper, and
// ended once its run is over, whether the run finished or was cut off. A child that another run still
// waits for keeps its exit status, and what the URL opener started (no run mark) is left alone.
TEST(ChildReaperTest, WhatARunLeavesBehindIsEndedWithIt) {
    ASSERT_TRUE(ChildReaper::becomeSubreaper());
    test::TempDir dir;
    const auto marker = [&](const std::string& name) { return (dir.path() / name).string(); };
    const auto later = [&](const std::string& name) {
        return "setsid sh -c 'sleep 0.6; touch " + marker(name) + "' </dev/null >/dev/null 2>&1 &";
    };
    LinuxProcessRunner runner;
    std::optional<Expected<ProcessResult, ProcessLaunchError>> waited;
    std::thread other([&] {
        waited = runner.run({.executable = "/bin/sh", .arguments = {"-c", "sleep 0.5; exit 7"}});
    });

    auto finished =
        runner.run({.executable = "/bin/sh", .arguments = {"-c", later("finished") + " echo started"}});
    ASSERT_TRUE(finished);
    EXPECT_EQ(finished->output, "started\n");
    auto cutOff = runner.run({.executable = "/bin/sh",
                              .arguments = {"-c", later("cut-off") + " exec sleep 10"},
                              .timeout = 0.2,
                              .killGrace = 0.1});
    ASSERT_TRUE(cutOff);
    EXPECT_EQ(cutOff->ending, Ending::timedOut);

    const auto opener = dir.write(
        "opener",
        "#!/bin/sh\nsetsid sh -c 'sleep 0.6; touch \"$1\"' sh \"$1\" </dev/null >/dev/null 2>&1 &\n");
    fs::permissions(opener, fs::perms::owner_all);
    ASSERT_TRUE(XdgUrlOpener(opener.string()).open(marker("opened")));

    other.join();
    ASSERT_TRUE(waited && *waited);
    EXPECT_EQ((*waited)->status, 7);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    EXPECT_FALSE(fs::exists(marker("finished")));
    EXPECT_FALSE(fs::exists(marker("cut-off")));
    EXPECT_TRUE(fs::exists(marker("opened")));
    // The opener's leftover has ended by now; a last run reaps it like any other orphan.
    (void)runner.run({.executable = "/bin/true"});
}

} // namespace
} // namespace korvane
