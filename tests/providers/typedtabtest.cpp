#include "providers/typedtab.h"

#include "platform/fake/fakeprocesstable.h"

#include <gmock/gmock.h>
#include <map>
#include <set>

namespace korvane {
namespace {

constexpr std::int32_t kTerminal = 100;

// One process below the terminal: its device, whether it is in its device's foreground job, and its
// reads at the baseline and at the trigger (absent: not readable then, or not running yet).
struct Process {
    std::int32_t pid;
    std::int32_t parent;
    std::string tty;
    bool foreground;
    std::optional<ProcessReads> before;
    std::optional<ProcessReads> after;
    // Started after the baseline.
    bool since = false;
    // Each process runs a program of its own where not named.
    std::string name;
};

struct Case {
    std::string name;
    std::vector<Process> processes;
    // The devices of the pane typed in; none where no pane alone tells it.
    std::set<std::string> typed;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

constexpr ProcessReads reads(std::uint64_t calls, std::uint64_t bytes) {
    return {calls, bytes};
}

class TypedTabTest : public testing::TestWithParam<Case> {};

// The reads of every process are set to their baseline and taken, then to what they are at the
// trigger: the pane typed in keeps its processes alone, else every process stays.
TEST_P(TypedTabTest, KeepsThePaneThatReadTheKeys) {
    const Case& c = GetParam();
    auto table = std::make_shared<FakeProcessTable>();
    table->addProcess(kTerminal, 1);
    std::set<std::string> devices;
    // The foreground processes of a device form one job, led by the first.
    std::map<std::string, std::int32_t> jobs;
    const auto add = [&](const Process& p) {
        table->addProcess(p.pid, p.parent, p.tty, "/home/user/code/" + p.tty);
        table->setName(p.pid, p.name.empty() ? "program" + std::to_string(p.pid) : p.name);
        if (p.foreground) {
            const std::int32_t job = jobs.try_emplace(p.tty, p.pid).first->second;
            table->setProcessGroup(p.pid, job);
            table->setForegroundGroup(p.tty, job);
        }
        devices.insert(p.tty);
    };
    for (const Process& p : c.processes) {
        if (!p.since) {
            add(p);
        }
    }
    const auto before = ProcessInfo::descendants(kTerminal, *table);
    TypedTab tab(table);
    for (const Process& p : c.processes) {
        if (!p.since) {
            table->setReads(p.pid, p.before);
        }
    }
    tab.takeBaseline(before);
    EXPECT_EQ(tab.hasSeveralPanes(), devices.size() > 1);
    for (const Process& p : c.processes) {
        if (p.since) {
            add(p);
        }
        table->setReads(p.pid, p.after);
    }
    const auto all = ProcessInfo::descendants(kTerminal, *table);
    // Without the trigger's keys the reads tell nothing.
    EXPECT_EQ(tab.typedPaneOnly(all, false), all);

    for (const Process& p : c.processes) {
        if (!p.since) {
            table->setReads(p.pid, p.before);
        }
    }
    tab.takeBaseline(before);
    for (const Process& p : c.processes) {
        table->setReads(p.pid, p.after);
    }
    std::set<std::string> kept;
    for (const auto& entry : tab.typedPaneOnly(all, true)) {
        kept.insert(*entry.tty);
    }
    EXPECT_EQ(kept, c.typed.empty() ? devices : c.typed);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, TypedTabTest,
    testing::Values(
        Case{"TheShellThatReadTheFirstKey",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(50, 700)}},
             {"pts/1"}},
        Case{"BothKeysRead",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(40, 900)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(52, 702)}},
             {"pts/2"}},
        Case{"NoKeyReadYet",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(40, 900)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(50, 700)}},
             {}},
        Case{"TwoPanesReadKeys",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(51, 701)}},
             {}},
        // top redrawing beside reads hundreds of process files.
        Case{"TopRedrawsInAnotherTab",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(50, 700)},
              {103, kTerminal, "pts/3", true, reads(9000, 900000), reads(9441, 948290)}},
             {"pts/1"}},
        // tail -f following a log reads its lines, more than a key's bytes a read.
        Case{"ALogFollowedInAnotherTab",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(50, 700)},
              {103, kTerminal, "pts/3", true, reads(300, 9000), reads(303, 9045)}},
             {"pts/1"}},
        Case{"ALogFollowedBesideATabThatReadNothing",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(40, 900)},
              {103, kTerminal, "pts/3", true, reads(300, 9000), reads(303, 9045)}},
             {}},
        Case{"AShortLineFollowedReadsLikeKeys",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {103, kTerminal, "pts/3", true, reads(300, 600), reads(302, 602)}},
             {}},
        // An editor reads the terminal's report that its tab came forward with the first key.
        Case{"AnEditorWithItsFocusReport",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(40, 900)},
              {102, kTerminal, "pts/2", false, reads(50, 700), reads(50, 700)},
              {103, 102, "pts/2", true, reads(70, 100), reads(72, 104)}},
             {"pts/2"}},
        // What a shell's background job reads is not what the user typed there.
        Case{"ABackgroundJobReadsBehindItsShell",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(40, 900)},
              {104, 101, "pts/1", false, reads(10, 10), reads(12, 12)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(51, 701)}},
             {"pts/2"}},
        // A job in the same process group as its leader counts with it.
        Case{"APipelineOfTheForegroundJob",
             {{101, kTerminal, "pts/1", false, reads(40, 900), reads(40, 900)},
              {105, 101, "pts/1", true, reads(3, 3), reads(3, 3)},
              {106, 105, "pts/1", true, reads(8, 8), reads(9, 9)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(50, 700)}},
             {"pts/1"}},
        // make reads its job tokens a byte at a time, and starts a job with each; the tab typed in had
        // not read the keys yet.
        Case{"ABuildThatReadItsTokens",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(40, 900)},
              {102, kTerminal, "pts/2", false, reads(50, 700), reads(50, 700)},
              {103, 102, "pts/2", true, reads(90, 2000), reads(92, 2002)},
              {104, 103, "pts/2", true, std::nullopt, reads(0, 0), true}},
             {}},
        // A shell works out the suggestion for the line typed in a fork of its own.
        Case{"AShellsSuggestionInAForkOfItsOwn",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(42, 902), false, "zsh"},
              {104, 101, "pts/1", true, std::nullopt, reads(0, 0), true, "zsh"},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(50, 700)}},
             {"pts/1"}},
        // A program started since the baseline, or another user's, may be the one typed into.
        Case{"APaneStartedSinceTheBaseline",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {102, kTerminal, "pts/2", true, std::nullopt, reads(3, 3)}},
             {}},
        Case{"AnotherUsersPane",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {102, kTerminal, "pts/2", true, std::nullopt, std::nullopt}},
             {}},
        Case{"AProcessIdUsedAgain",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)},
              {102, kTerminal, "pts/2", true, reads(5000, 90000), reads(2, 2)}},
             {}},
        // A program that opened a terminal of its own inside a pane reads for that pane.
        Case{"ATerminalInsideAPane",
             {{101, kTerminal, "pts/1", false, reads(40, 900), reads(40, 900)},
              {107, 101, "pts/1", true, reads(5, 5), reads(5, 5)},
              {108, 107, "pts/4", true, reads(60, 600), reads(61, 601)},
              {102, kTerminal, "pts/2", true, reads(50, 700), reads(50, 700)}},
             {"pts/1", "pts/4"}},
        Case{"OnePane",
             {{101, kTerminal, "pts/1", true, reads(40, 900), reads(41, 901)}},
             {}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Of a job larger than a few processes only its leader and those seen reading at earlier baselines
// are read; where none of it was seen reading, any of them may have read the keys: no tab is told.
TEST(TypedTabLargeJobTest, ReadsItsLeaderAndThoseSeenReading) {
    auto table = std::make_shared<FakeProcessTable>();
    table->addProcess(kTerminal, 1);
    for (std::int32_t pid = 101; pid <= 120; ++pid) {
        table->addProcess(pid, pid == 101 ? kTerminal : 101, "pts/1");
        table->setProcessGroup(pid, 101);
        table->setReads(pid, reads(10, 10));
    }
    table->setForegroundGroup("pts/1", 101);
    table->addProcess(200, kTerminal, "pts/2");
    table->setForegroundGroup("pts/2", 200);
    table->setReads(200, reads(50, 50));
    const auto all = ProcessInfo::descendants(kTerminal, *table);
    TypedTab tab(table);
    tab.takeBaseline(all);
    // 115 reads the keys, the other tab reads as keys too: neither is told.
    table->setReads(115, reads(12, 12));
    table->setReads(200, reads(52, 52));
    EXPECT_EQ(tab.typedPaneOnly(all, true).size(), all.size());

    tab.takeBaseline(all);
    table->setReads(115, reads(14, 14));
    const int before = table->lookups();
    const auto typed = tab.typedPaneOnly(all, true);
    EXPECT_EQ(typed.size(), 20U);
    EXPECT_EQ(typed.front().tty, "pts/1");
    // The leader, 115 and the shell, and whether 115 started another since.
    EXPECT_EQ(table->lookups() - before, 4);
}

// Beside the tab typed in, a build loop's next round started since the baseline: its processes read from
// nothing, a program at work, not a tab whose reads are unknown. In a third tab `sleep` ended since: its
// shell read the Return that ran it before the baseline taken behind it, not since.
TEST(TypedTabLargeJobTest, ProcessesStartedSinceTheBaselineReadFromNothing) {
    auto table = std::make_shared<FakeProcessTable>();
    table->addProcess(kTerminal, 1);
    for (std::int32_t shell : {101, 201, 301}) {
        const std::string device = "pts/" + std::to_string(shell / 100);
        table->addProcess(shell, kTerminal, device);
        table->setForegroundGroup(device, shell);
        table->setReads(shell, reads(40, 900));
    }
    TypedTab tab(table);
    tab.takeBaseline(ProcessInfo::descendants(kTerminal, *table));
    table->setReads(301, reads(41, 901));
    table->addProcess(302, 301, "pts/3");
    table->setProcessGroup(302, 302);
    table->setForegroundGroup("pts/3", 302);
    tab.takeBaseline(ProcessInfo::descendants(kTerminal, *table));
    for (std::int32_t pid = 202; pid < 214; ++pid) {
        table->addProcess(pid, pid == 202 ? 201 : 202, "pts/2");
        table->setProcessGroup(pid, 202);
        table->setReads(pid, reads(300, 90000));
    }
    table->setForegroundGroup("pts/2", 202);
    table->setForegroundGroup("pts/3", 301);
    table->setReads(101, reads(42, 902));
    const auto typed = tab.typedPaneOnly(ProcessInfo::descendants(kTerminal, *table), true);
    ASSERT_FALSE(typed.empty());
    EXPECT_EQ(typed.size(), 1U);
    EXPECT_EQ(typed.front().pid, 101);
}

} // namespace
} // namespace korvane
