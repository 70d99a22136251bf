#include "gitguard/gitreach.h"

#include "files/gitrepo.h"
#include "gitguard/gitlinkrecords.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/scopedenv.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace korvane {
namespace {

using ::testing::HasSubstr;

Expected<GitReach, std::string> reach(const test::GitRepo& repo, ProcessRunner& runner,
                                      const OutputBudget& budget = GitReach::sharedBudget()) {
    ProcessRequest base;
    base.executable = "/usr/bin/git";
    base.workingDirectory = repo.root();
    base.timeout = 20;
    return GitReach::read(runner, base, budget);
}

Expected<GitReach, std::string> reach(const test::GitRepo& repo) {
    LinuxProcessRunner runner;
    return reach(repo, runner);
}

// Whether some repository read, or the folder itself, holds an entry of `key`.
bool holds(const GitReach& reached, const std::string& key) {
    const auto has = [&](const std::vector<GitConfigEntry>& entries) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const auto& entry) { return entry.key == key; });
    };
    return has(reached.folderEntries()) ||
           std::any_of(reached.repositories().begin(), reached.repositories().end(),
                       [&](const auto& repository) { return has(repository.entries); });
}

// A submodule "sub" cloned from a repository kept in .git/src.
const std::string withSubmodule =
    "git config --global user.name T && git config --global user.email t@example.invalid && "
    "git init -q .git/src && echo s >.git/src/s.txt && git -C .git/src add -A && "
    "git -C .git/src commit -qm s && git -c protocol.file.allow=always submodule add -q \"$PWD/.git/src\" "
    "sub "
    "&& git commit -qm sub && ";
// A gitlink "inner" whose folder holds a repository of its own.
const std::string withInner = "git init -q inner && echo s >inner/s.txt && git -C inner add -A && "
                              "git -C inner -c user.name=T -c user.email=t@example.invalid commit -qm s && "
                              "git add inner 2>/dev/null && git commit -qm inner && ";

// Every configuration git may read from the folder is read where git reads it: the marker set in it
// is found. Each way to reach one resolves as git resolves it (links, /proc/self, line breaks in names).
TEST(GitReachTest, EveryConfigurationGitCanReachIsListedByGit) {
    struct Case {
        const char* name;
        std::string setup;
    };
    const std::vector<Case> cases = {
        {"an include through a link that leads elsewhere",
         "mkdir -p .git/a/b && ln -s a/b .git/lnk && git config --file .git/a/evil.cfg marker.found x && "
         "printf 'marker = decoy\\n' >.git/evil.cfg && git config include.path lnk/../evil.cfg"},
        {"an include of /proc/self/cwd",
         "git config --file .git/p.cfg marker.found x && git config include.path /proc/self/cwd/.git/p.cfg"},
        {"a submodule", withSubmodule + "git -C sub config marker.found x"},
        {"a gitlink holding its own repository", withInner + "git -C inner config marker.found x"},
        {"a submodule kept only in the modules folder",
         withSubmodule +
             "git submodule deinit -q -f sub && git --git-dir=.git/modules/sub config marker.found x"},
        {"a nested submodule",
         withSubmodule + "git init -q .git/n && git -C .git/n commit -q --allow-empty -m n && "
                         "git -C sub -c protocol.file.allow=always submodule add -q \"$PWD/.git/n\" n && "
                         "git -C sub/n config marker.found x"},
        {"a gitlink whose .git names /proc/self/cwd",
         withInner + "mv inner/.git inner/.g && echo 'gitdir: /proc/self/cwd/.g' >inner/.git && "
                     "git -C inner config marker.found x"},
        {"a git directory two gitlinks share, the second work tree holding a repository",
         "git init -q n && git -C n -c user.name=T -c user.email=t@example.invalid commit -q --allow-empty "
         "-m n && "
         "git -C n config marker.found x && git init -q x && mv n x/n && git -C x add n 2>/dev/null && "
         "git -C x -c user.name=T -c user.email=t@example.invalid commit -qm n && mv x/.git g && "
         "printf 'gitdir: ../g\\n' >x/.git && mkdir y && printf 'gitdir: ../g\\n' >y/.git && mv x/n y/n && "
         "git add x y 2>/dev/null && git commit -qm xy"},
        {"a git directory whose name holds a line break",
         "git config marker.found x && mv .git \"$(printf 'top\\nx')\" && printf 'gitdir: top\\nx\\n' >.git"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::GitRepo repo;
        ASSERT_TRUE(repo.sh(c.setup)) << c.setup;
        const auto reached = reach(repo);
        ASSERT_TRUE(reached) << reached.error();
        EXPECT_TRUE(holds(*reached, "marker.found"));
    }
}

// git follows a link in a modules folder to wherever it leads (`submodule update` uses it), so such a
// folder is not read at all.
TEST(GitReachTest, ALinkInAModulesFolderFailsTheReading) {
    const test::GitRepo repo;
    ASSERT_TRUE(repo.sh(withSubmodule + "git submodule deinit -q -f sub && mv .git/modules/sub .git/real && "
                                        "ln -s ../real .git/modules/sub"));
    const auto reached = reach(repo);
    ASSERT_FALSE(reached);
    EXPECT_THAT(reached.error(), HasSubstr(".git/modules/sub is a link"));
}

// Outside any repository git lists only the user's own; a repository it cannot read fails the reading.
// Neither is told by git's words, which a translated git words otherwise.
TEST(GitReachTest, NoRepositoryAndABrokenOneAreToldApartInAnyLanguage) {
    if (!std::filesystem::exists("/usr/share/locale/de/LC_MESSAGES/git.mo")) {
        GTEST_SKIP() << "git's German messages are not installed";
    }
    const test::ScopedEnv language("LANGUAGE", "de");
    const test::ScopedEnv locale("LANG", "C.UTF-8");
    const test::ScopedEnv all("LC_ALL", nullptr);
    const test::GitRepo none;
    std::filesystem::remove_all(none.path() / ".git");
    const test::ScopedEnv ceiling("GIT_CEILING_DIRECTORIES", none.path().parent_path().c_str());
    ASSERT_FALSE(none.sh("git status 2>&1 | grep -q 'not a git'")) << "git does not speak German here";
    const auto outside = reach(none);
    ASSERT_TRUE(outside) << outside.error();
    EXPECT_TRUE(outside->repositories().empty());

    const test::GitRepo broken;
    ASSERT_TRUE(broken.sh("printf '[x' >>.git/config"));
    EXPECT_FALSE(reach(broken));
}

// The index of a repository of some hundred thousand files, one of them a gitlink, is listed whole:
// it lists well past the output a command's own git run may keep.
TEST(GitReachTest, TheIndexOfALargeRepositoryIsListedWhole) {
    const test::GitRepo repo;
    ASSERT_TRUE(repo.sh(withInner +
                        "git -C inner config marker.found x && b=$(echo x | git hash-object -w --stdin) && "
                        "seq 180000 | awk -v b=$b '{ printf \"100644 %s\\tsome/deeper/folder/name/"
                        "file-number-%06d.txt\\n\", b, $1 }' | git update-index --index-info"));
    const auto reached = reach(repo);
    ASSERT_TRUE(reached) << reached.error();
    EXPECT_TRUE(holds(*reached, "marker.found"));
}

// Of an index listing only the gitlinks' records are kept, however git's output is cut into pieces:
// cut at every place, and byte by byte, the kept records are those of the whole. Past the budget the
// listing is refused.
TEST(GitReachTest, AnIndexListingKeepsItsGitlinksWhereverItIsCut) {
    const std::string object(40, 'a');
    const std::string gitlink = "160000 " + object + " 0\tsub";
    const std::string listing = "100644 " + object + " 0\ta.txt" + '\0' + gitlink + '\0' + "16000" + '\0' +
                                "100644 " + object + " 0\t160000 b" + '\0' + gitlink + "/last";
    const std::string expected = gitlink + '\0' + gitlink + "/last" + '\0';
    const auto kept = [](const std::vector<std::string_view>& pieces, const OutputBudget& budget) {
        GitlinkRecords records(budget.share());
        std::string kept;
        for (const auto piece : pieces) {
            if (!records.add(piece, kept)) {
                return std::string("(refused)");
            }
        }
        return records.add({}, kept) ? kept : std::string("(refused)");
    };
    const OutputBudget budget(4096);
    for (std::size_t cut = 0; cut <= listing.size(); ++cut) {
        const std::string_view whole = listing;
        ASSERT_EQ(kept({whole.substr(0, cut), whole.substr(cut)}, budget), expected) << cut;
    }
    std::vector<std::string_view> bytes;
    for (std::size_t at = 0; at < listing.size(); ++at) {
        bytes.push_back(std::string_view(listing).substr(at, 1));
    }
    EXPECT_EQ(kept(bytes, budget), expected);
    EXPECT_EQ(budget.left(), budget.size());
    EXPECT_EQ(kept({listing}, OutputBudget(64)), "(refused)");
}

// An index may name any number of gitlinks, each a folder git would be asked about: past a bound the
// reading fails at once rather than start git thousands of times.
TEST(GitReachTest, AnIndexOfThousandsOfGitlinksFailsTheReading) {
    const test::GitRepo repo;
    ASSERT_TRUE(repo.sh("c=$(git commit-tree $(git write-tree) -m c) && seq 3000 | awk -v c=$c "
                        "'{ printf \"160000 %s\\tlink%d\\n\", c, $1 }' | git update-index --index-info"));
    const auto reached = reach(repo);
    ASSERT_FALSE(reached);
    EXPECT_THAT(reached.error(), HasSubstr("too many submodules"));
}

// The worktrees folder of a repository may name any number of worktrees in the folder, each a folder
// git would be asked about, as an index may name gitlinks: past the same bound the reading fails at once.
TEST(GitReachTest, AWorktreesFolderOfThousandsFailsTheReading) {
    const test::GitRepo repo;
    ASSERT_TRUE(repo.sh("mkdir -p .git/worktrees && cd .git/worktrees && "
                        "seq 2000 | sed 's/^/w/' | xargs mkdir && for w in w*; do "
                        "echo \"$OLDPWD/$w/.git\" >$w/gitdir && echo ../.. >$w/commondir && "
                        "echo 'ref: refs/heads/main' >$w/HEAD; done"));
    const auto reached = reach(repo);
    ASSERT_FALSE(reached);
    EXPECT_THAT(reached.error(), HasSubstr("too many worktrees"));
}

// What readings hold of what git printed to them is bounded as a whole, however many runs hold their
// answers at once: two configurations, each far within the bound alone, pass it together and fail the
// reading. A reading hands back all it took once what it read is gone.
TEST(GitReachTest, WhatReadingsHoldOfWhatGitPrintsIsBounded) {
    const test::GitRepo repo;
    // Some 45 KiB of listing at the top, and some 30 KiB in the submodule.
    const auto entries = [](int count, const std::string& file) {
        return "{ echo '[marker]'; seq " + std::to_string(count) +
               " | awk '{ printf \"\\tk%d = %040d\\n\", $1, $1 }'; } >>" + file;
    };
    ASSERT_TRUE(repo.sh(withSubmodule + entries(600, ".git/config") + " && " +
                        entries(300, ".git/modules/sub/config")));
    LinuxProcessRunner runner;
    const OutputBudget budget(512 * 1024);
    {
        const auto within = reach(repo, runner, budget);
        ASSERT_TRUE(within) << within.error();
        EXPECT_TRUE(holds(*within, "marker.k600"));
        EXPECT_EQ(within->repositories().size(), 2u);
        EXPECT_LT(budget.left(), budget.size());
    }
    EXPECT_EQ(budget.left(), budget.size());
    const auto past = reach(repo, runner, OutputBudget(64 * 1024));
    ASSERT_FALSE(past);
    EXPECT_THAT(past.error(), HasSubstr("git printed more than 64 KiB for the repositories reached from"));
}

// However much git prints to them, readings hold little of it: a folder whose 37 repositories in the
// modules folder each list some 10 MB of settings that allow a command (360 MB in all), read by two
// scans and two live runs at once, raises the resident memory of the process that reads by less than
// 64 MiB, and each command waits, saying why.
TEST(GitReachTest, ReadingsHoldLittleHoweverMuchGitPrints) {
    const test::GitRepo repo;
    // One file of settings, the configuration of every repository in the modules folder.
    ASSERT_TRUE(repo.sh("{ echo '[advice]'; seq 180000 | awk '{ printf \"\\tk%d = true\\n\", $1 }'; } "
                        ">settings && for i in $(seq 37); do git init -q --bare .git/modules/m$i && "
                        "ln -f settings .git/modules/m$i/config || exit 1; done"));
    ProcessRequest probe;
    probe.executable = KORVANE_READING_PROBE;
    probe.arguments = {repo.root(), "4"};
    // A sanitized probe keeps no freed memory aside, so that it counts what its readings hold.
    probe.environment = {
        {"ASAN_OPTIONS", "quarantine_size_mb=0:thread_local_quarantine_size_kb=0:detect_leaks=0"}};
    probe.timeout = 120;
    probe.errorOutput = ProcessRequest::ErrorOutput::capture;
    const auto outcome = LinuxProcessRunner().run(probe);
    ASSERT_TRUE(outcome);
    ASSERT_TRUE(outcome->succeeded()) << outcome->output << outcome->errorOutput;
    std::istringstream lines(outcome->output);
    long grown = -1;
    std::vector<std::string> reasons;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("grown ")) {
            grown = std::stol(line.substr(6));
        } else if (line.starts_with("reason ")) {
            reasons.push_back(line.substr(7));
        }
    }
    EXPECT_GE(grown, 0);
    EXPECT_LT(grown, 64 * 1024) << "KiB";
    EXPECT_THAT(reasons, testing::SizeIs(4));
    for (const auto& reason : reasons) {
        EXPECT_EQ(reason, "git printed more than 24 MiB for the repositories reached from " + repo.root());
    }
}

// Runs git for real and cancels the command once the folder's repository has been found.
class CancelAfterDiscovery final : public ProcessRunner {
public:
    explicit CancelAfterDiscovery(CancellationToken token)
        : token_(std::move(token)) {}
    Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) override {
        auto outcome = runner_.run(request);
        if (std::find(request.arguments.begin(), request.arguments.end(), "rev-parse") !=
            request.arguments.end()) {
            token_.cancel();
        }
        return outcome;
    }

private:
    CancellationToken token_;
    LinuxProcessRunner runner_;
};

// The reading ends with the command's cancellation (and its time limit) also between git runs: an index
// far too large to search in the time left is not read to its end.
TEST(GitReachTest, ACancelledCommandStopsTheReadingOfTheIndex) {
    const test::GitRepo repo;
    ASSERT_TRUE(repo.sh("git commit -q --allow-empty -m x && truncate -s 1G .git/index"));
    const CancellationToken token;
    CancelAfterDiscovery runner(token);
    ProcessRequest base;
    base.executable = "/usr/bin/git";
    base.workingDirectory = repo.root();
    base.timeout = 60;
    base.cancellation = token;
    const auto outcome = GitReach::read(runner, base);
    ASSERT_FALSE(outcome);
    EXPECT_THAT(outcome.error(), HasSubstr("in time"));
}

} // namespace
} // namespace korvane
