#include "gitguard/gitreach.h"

#include "files/gitrepo.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/scopedenv.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using ::testing::HasSubstr;

Expected<GitReach, std::string> reach(const test::GitRepo& repo, ProcessRunner& runner,
                                      std::size_t printed = GitReach::outputLimit) {
    ProcessRequest base;
    base.executable = "/usr/bin/git";
    base.workingDirectory = repo.root();
    base.timeout = 20;
    return GitReach::read(runner, base, printed);
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

// What git prints to one reading is bounded as a whole, however many runs hold their answers at once:
// two configurations, each far within the bound alone, pass it together and fail the reading.
TEST(GitReachTest, WhatGitPrintsToTheWholeReadingIsBounded) {
    const test::GitRepo repo;
    // Some 45 KiB of listing at the top, and some 30 KiB in the submodule.
    const auto entries = [](int count, const std::string& file) {
        return "{ echo '[marker]'; seq " + std::to_string(count) +
               " | awk '{ printf \"\\tk%d = %040d\\n\", $1, $1 }'; } >>" + file;
    };
    ASSERT_TRUE(repo.sh(withSubmodule + entries(600, ".git/config") + " && " +
                        entries(300, ".git/modules/sub/config")));
    LinuxProcessRunner runner;
    const auto within = reach(repo, runner, 256 * 1024);
    ASSERT_TRUE(within) << within.error();
    EXPECT_TRUE(holds(*within, "marker.k600"));
    EXPECT_EQ(within->repositories().size(), 2u);
    const auto past = reach(repo, runner, 64 * 1024);
    ASSERT_FALSE(past);
    EXPECT_THAT(past.error(), HasSubstr("git printed more than 64 KiB for the repositories reached from"));
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
