#include "providers/projectdetector.h"
#include "providers/panegroups.h"

#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakeprocesstable.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <random>

namespace korvane {
namespace {

using testing::ElementsAre;

constexpr std::int32_t kTerminal = 100;
const std::string kApp = "/home/user/code/app";
const std::string kWeb = "/home/user/code/web";
const std::string kPkg = "/home/user/code/app/packages/ui";

struct Process {
    std::int32_t pid;
    std::int32_t parent;
    std::optional<std::string> tty;
    std::optional<std::string> cwd;
    // The process group; 0 for one of its own.
    std::int32_t group = 0;
};

struct Case {
    std::string name;
    std::vector<Process> processes;
    std::map<std::string, double> accessSeconds;
    ProcessTreeDetection expected;
    // The job each terminal shows.
    std::map<std::string, std::int32_t> foregroundGroups = {};
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class ProcessTreeTest : public testing::TestWithParam<Case> {};

TEST_P(ProcessTreeTest, ChoosesThePaneUsedLast) {
    const Case& c = GetParam();
    auto files = std::make_shared<FakeFileProbe>("/home/user");
    files->addDirectory(kApp + "/.git");
    files->addDirectory(kWeb + "/.git");
    files->addDirectory(kApp + "/src");
    files->addFile(kPkg + "/package.json");
    files->addDirectory("/tmp/scratch");
    auto table = std::make_shared<FakeProcessTable>();
    for (const Process& p : c.processes) {
        table->addProcess(p.pid, p.parent, p.tty, p.cwd);
        table->setProcessGroup(p.pid, p.group != 0 ? p.group : p.pid);
    }
    for (const auto& [tty, group] : c.foregroundGroups) {
        table->setForegroundGroup(tty, group);
    }
    const auto epoch = std::chrono::system_clock::time_point() + std::chrono::hours(24 * 20000);
    for (const auto& [tty, seconds] : c.accessSeconds) {
        table->setAccessTime(tty, epoch + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                              std::chrono::duration<double>(seconds)));
    }
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), table, files);

    ProcessTreeDetection result = detector.detectFromProcessTree(kTerminal);
    EXPECT_EQ(result, c.expected);
    const auto* found = std::get_if<ProcessTreeFound>(&c.expected);
    EXPECT_EQ(detector.currentProjectRoot(), found ? std::optional(found->root) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Panes, ProcessTreeTest,
    testing::Values(
        Case{"EditorBelowTheShellWins",
             {{101, kTerminal, "pts/1", kApp}, {102, 101, "pts/1", kPkg}},
             {{"pts/1", 0}},
             ProcessTreeFound{kPkg}},
        Case{"NoProcesses", {}, {}, ProcessTreeNone{}},
        Case{"EverythingInTheRootFolder", {{101, kTerminal, "pts/1", "/"}}, {{"pts/1", 0}}, ProcessTreeNone{}},
        Case{"SecondPaneAStepLater",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", kWeb}},
             {{"pts/1", 7}, {"pts/2", 8}},
             ProcessTreeFound{kWeb}},
        Case{"FirstPaneAStepLater",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", kWeb}},
             {{"pts/1", 8}, {"pts/2", 0}},
             ProcessTreeFound{kApp}},
        // The system keeps a device's read time in 8-second steps: either may have been read last.
        Case{"PanesReadInOneStep",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", kWeb}},
             {{"pts/1", 0}, {"pts/2", 7}},
             ProcessTreeAmbiguous{{kApp, kWeb}}},
        Case{"APaneWithoutProjectReadInTheSameStep",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", "/tmp/scratch"}},
             {{"pts/1", 7}, {"pts/2", 0}},
             ProcessTreeAmbiguous{{kApp}}},
        Case{"PanesTwentyMillisecondsApart",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", kWeb}},
             {{"pts/1", 0}, {"pts/2", 0.02}},
             ProcessTreeAmbiguous{{kApp, kWeb}}},
        Case{"PanesWithoutDates",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", kWeb}},
             {},
             ProcessTreeAmbiguous{{kApp, kWeb}}},
        Case{"BothPanesInOneRepository",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", kApp + "/src"}},
             {{"pts/1", 0}, {"pts/2", 0.02}},
             ProcessTreeFound{kApp}},
        Case{"LastPaneOutsideAnyProject",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", "/tmp/scratch"}},
             {{"pts/1", 0}, {"pts/2", 8}},
             ProcessTreeNone{}},
        Case{"UnreadableDirectoryStillDatesItsPane",
             {{101, kTerminal, "pts/1", kApp}, {102, kTerminal, "pts/2", std::nullopt}},
             {{"pts/1", 0}, {"pts/2", 8}},
             ProcessTreeNone{}},
        Case{"DepthSevenIsNotListed",
             {{101, kTerminal}, {102, 101}, {103, 102}, {104, 103}, {105, 104}, {106, 105},
              {107, 106, "pts/1", kApp}},
             {{"pts/1", 0}},
             ProcessTreeNone{}},
        Case{"DepthSixIsListed",
             {{101, kTerminal}, {102, 101}, {103, 102}, {104, 103}, {105, 104}, {106, 105, "pts/1", kApp}},
             {{"pts/1", 0}},
             ProcessTreeFound{kApp}},
        // Apart, the two devices would tie and be ambiguous; joined, the tied group picks the device
        // of the deepest process with a directory.
        Case{"AChildOnAnotherTerminalJoinsItsParentsPane",
             {{101, kTerminal, "pts/1", kApp}, {102, 101, "pts/2", kWeb}},
             {{"pts/1", 0}, {"pts/2", 0.02}},
             ProcessTreeFound{kWeb}},
        Case{"AJoinedPaneReadsOnlyItsLatestDevice",
             {{101, kTerminal, "pts/1", kApp}, {102, 101, "pts/2", kWeb}},
             {{"pts/1", 1}, {"pts/2", 0}},
             ProcessTreeFound{kApp}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The job a terminal shows comes first, deepest first within it; then the terminal's other
// processes, deepest first. A shell that put a job in the background or got back the terminal from a
// stopped one is in the foreground itself.
INSTANTIATE_TEST_SUITE_P(Jobs, ProcessTreeTest,
                         testing::Values(Case{"ABackgroundJobStaysBehindTheShell",
                                              {{101, kTerminal, "pts/1", kWeb}, {102, 101, "pts/1", kApp}},
                                              {{"pts/1", 0}},
                                              ProcessTreeFound{kWeb},
                                              {{"pts/1", 101}}},
                                         Case{"AForegroundEditorGoesBeforeTheShell",
                                              {{101, kTerminal, "pts/1", kWeb}, {102, 101, "pts/1", kApp}},
                                              {{"pts/1", 0}},
                                              ProcessTreeFound{kApp},
                                              {{"pts/1", 102}}},
                                         Case{"TheDeepestOfTheForegroundJobFirst",
                                              {{101, kTerminal, "pts/1", "/tmp/scratch"},
                                               {102, 101, "pts/1", kApp},
                                               {103, 102, "pts/1", kPkg, 102},
                                               {104, 103, "pts/1", kWeb}},
                                              {{"pts/1", 0}},
                                              ProcessTreeFound{kPkg},
                                              {{"pts/1", 102}}},
                                         Case{"AForegroundJobWithoutAFolderLeavesTheRestInTheirOrder",
                                              {{101, kTerminal, "pts/1", kWeb},
                                               {102, 101, "pts/1", kApp},
                                               {103, 101, "pts/1", "/"}},
                                              {{"pts/1", 0}},
                                              ProcessTreeFound{kApp},
                                              {{"pts/1", 103}}},
                                         Case{"EachPaneByItsOwnForegroundJob",
                                              {{101, kTerminal, "pts/1", kWeb},
                                               {102, 101, "pts/1", kApp},
                                               {103, kTerminal, "pts/2", kApp},
                                               {104, 103, "pts/2", kWeb}},
                                              {{"pts/1", 1}, {"pts/2", 0}},
                                              ProcessTreeFound{kWeb},
                                              {{"pts/1", 101}, {"pts/2", 104}}}),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// The window's title is a question to the X server at the trigger: panes that agree on a project, read
// at the same moment or not, need none.
TEST(ProcessTreeWalk, TheTitleIsAskedOnlyWhereThePanesDiffer) {
    auto files = std::make_shared<FakeFileProbe>("/home/user");
    files->addDirectory(kApp + "/.git");
    files->addDirectory(kWeb + "/.git");
    files->addDirectory(kApp + "/src");
    struct Pair {
        std::string second;
        int secondsLater;
        ProcessTreeDetection expected;
        int titles;
    };
    const Pair pairs[] = {
        {kApp + "/src", 0, ProcessTreeFound{kApp}, 0},
        {kApp + "/src", 1, ProcessTreeFound{kApp}, 0},
        {kWeb, 0, ProcessTreeAmbiguous{{kApp, kWeb}}, 1},
    };
    for (const Pair& pair : pairs) {
        auto table = std::make_shared<FakeProcessTable>();
        table->addProcess(101, kTerminal, "pts/1", kApp);
        table->addProcess(102, kTerminal, "pts/2", pair.second);
        const auto now = std::chrono::system_clock::now();
        table->setAccessTime("pts/1", now);
        table->setAccessTime("pts/2", now + std::chrono::seconds(pair.secondsLater));
        ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), table, files);
        int titles = 0;
        const auto title = [&]() -> std::optional<std::string> {
            ++titles;
            return std::nullopt;
        };
        EXPECT_EQ(detector.detectFromProcessTree(kTerminal, title), pair.expected) << pair.second;
        EXPECT_EQ(titles, pair.titles) << pair.second;
    }
}

TEST(ProcessTreeWalk, ListsTheDeepestFirstAndStopsAtTheLimit) {
    std::map<std::int32_t, std::vector<std::int32_t>> children{
        {1, {2, 3}}, {2, {4}}, {3, {5, 6}}, {4, {7}}, {7, {8}}};
    using Pairs = std::vector<std::pair<std::int32_t, std::int32_t>>;
    EXPECT_EQ(ProcessInfo::walkDescendants(1, children, 6),
              (Pairs{{8, 7}, {7, 4}, {4, 2}, {5, 3}, {6, 3}, {2, 1}, {3, 1}}));
    EXPECT_EQ(ProcessInfo::walkDescendants(1, children, 2), (Pairs{{4, 2}, {5, 3}, {6, 3}, {2, 1}, {3, 1}}));
    EXPECT_EQ(ProcessInfo::walkDescendants(9, children, 6), Pairs{});
}

// Reading the processes below the terminal one by one finds what the whole table finds, in the same
// order, for random trees deeper than the walk goes and for every process as the root.
TEST(ProcessTreeWalk, TheTerminalsOwnProcessesAloneGiveTheWholeTablesWalk) {
    std::mt19937 random(58);
    for (int round = 0; round < 20; ++round) {
        auto table = std::make_shared<FakeProcessTable>();
        std::vector<std::int32_t> pids{1};
        table->addProcess(1, 0, "tty1");
        for (int index = 0; index < 120; ++index) {
            const std::int32_t pid = 2 + static_cast<std::int32_t>(random() % 4000);
            // Mostly children of the newest processes, so that some branches run past the depth limit.
            const std::size_t span = std::min<std::size_t>(pids.size(), 1 + random() % 4);
            const std::int32_t parent = pids[pids.size() - 1 - random() % span];
            if (pid == parent || std::find(pids.begin(), pids.end(), pid) != pids.end()) {
                continue;
            }
            table->addProcess(pid, parent, "pts/" + std::to_string(random() % 5),
                              "/home/user/code/d" + std::to_string(pid));
            pids.push_back(pid);
        }
        for (std::int32_t root : pids) {
            table->setListsChildren(true);
            const auto below = ProcessInfo::descendants(root, *table);
            table->setListsChildren(false);
            ASSERT_EQ(below, ProcessInfo::descendants(root, *table)) << "round " << round << " root " << root;
        }
        EXPECT_EQ(table->listings(), static_cast<int>(pids.size()));
    }
}

TEST(ProcessTreeWalk, PaneGroupsFollowTheUnionFindTable) {
    std::map<std::string, std::string> parents;
    EXPECT_EQ(PaneGroups::resolveMergedRoot("pts/1", parents), "pts/1");
    parents["pts/1"] = "pts/2";
    parents["pts/2"] = "pts/3";
    EXPECT_EQ(PaneGroups::resolveMergedRoot("pts/1", parents), "pts/3");
    EXPECT_EQ(parents["pts/3"], "pts/3");
    EXPECT_EQ(PaneGroups::resolveMergedRoot("pts/2", parents), "pts/3");
}

TEST(ProcessTreeWalk, NoProcessNumberWalksNothing) {
    auto table = std::make_shared<FakeProcessTable>();
    table->addProcess(1, 0, "tty1", "/home/user/code/app");
    ProjectDetector detector(std::make_shared<FakeActiveAppProvider>(), table,
                             std::make_shared<FakeFileProbe>("/home/user"));
    EXPECT_EQ(detector.detectFromProcessTree(0), ProcessTreeDetection(ProcessTreeNone{}));
    EXPECT_EQ(table->listings(), 0);
}

} // namespace
} // namespace korvane
