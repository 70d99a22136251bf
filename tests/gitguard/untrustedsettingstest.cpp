#include "platform/linux/linuxprocessrunner.h"
#include "providers/shellcommandrunner.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"
#include "untrustedrepository.h"

#include <cstdlib>
#include <gmock/gmock.h>

namespace korvane {
namespace {

using test::expectClosed;
using test::Route;

// Receiving hooks that leave the marker: in a bare repository evil.git beside the work tree, and in the
// folder's own repository.
const std::string evilRepository =
    "git init -q --bare evil.git && for h in pre-receive update post-receive; do "
    "printf '#!/bin/sh\\nMARK\\n' >evil.git/hooks/$h && chmod +x evil.git/hooks/$h; done && ";
const std::string ownHooks =
    "for h in pre-receive update post-receive; do "
    "printf '#!/bin/sh\\nMARK\\n' >.git/hooks/$h && chmod +x .git/hooks/$h; done && ";
const std::string push = "git push -q origin HEAD:refs/heads/copy";
// A branch x that tracks the current one in the same repository, one commit ahead of it.
const std::string trackingBranch = "git branch -q --track x \"$(git symbolic-ref --short HEAD)\" && "
                                   "git checkout -q x && git commit -q --allow-empty -m ahead && ";

// For a repository on this machine git starts receive-pack without the settings that keep the folder's
// hooks off: every way the folder has to lead a push there keeps the command from running, and a path
// the command names itself is refused by git.
TEST(UntrustedRepositoryTest, AnAddressOnThisMachineKeepsThePushFromRunning) {
    expectClosed({
        {"the repository itself", ownHooks + "git remote add origin .", push,
         ".git/config sets remote.origin.url: not an address over the network"},
        {"a repository beside it", evilRepository + "git remote add origin ./evil.git", push,
         "sets remote.origin.url"},
        {"a file address to push to",
         evilRepository + "git remote add origin https://example.invalid/x && "
                          "git config remote.origin.pushurl \"file://$PWD/evil.git\"",
         push, "sets remote.origin.pushurl"},
        {"a branch whose remote is the repository itself",
         ownHooks + trackingBranch + "git config --global push.default upstream", "git push -q",
         "sets branch.x.remote"},
        {"a branch whose remote no configuration names",
         evilRepository + trackingBranch +
             "git config --global push.default current && "
             "git config branch.x.remote evil.git",
         "git push -q", "sets branch.x.remote"},
        {"a branch whose remote is a path no configuration names",
         evilRepository + trackingBranch +
             "git config --global push.default current && "
             "git config branch.x.remote ./evil.git",
         "git push -q", "sets branch.x.remote"},
        {"a remote of the old kind in .git/remotes",
         ownHooks + "mkdir -p .git/remotes && echo 'URL: .' >.git/remotes/origin", push,
         ".git/remotes holds remotes"},
        {"a remote of the old kind in .git/branches",
         ownHooks + "mkdir -p .git/branches && echo . >.git/branches/origin", push,
         ".git/branches holds remotes"},
        {"an address the user's own rewriting leads here",
         ownHooks + "git config --global url.\"$PWD/\".insteadOf https://mirror.invalid/ && "
                    "git remote add origin https://mirror.invalid/.",
         push, "sets remote.origin.url"},
        {"an address the folder's own rewriting leads here",
         evilRepository + "git config url.\"$PWD/evil.git\".insteadOf https://mirror.invalid/x && "
                          "git remote add origin https://mirror.invalid/x",
         push, "sets url."},
        {"a path the command names", evilRepository + "true", "git push -q ./evil.git HEAD:refs/heads/copy",
         ""},
        {"a file address the command names", ownHooks + "true",
         "git push -q \"file://$PWD\" HEAD:refs/heads/copy", ""},
    });
}

// The user's global transfer.fsckObjects rejects a .gitmodules whose address is an option; a setting of
// the folder's that lowers that check keeps the command from running.
TEST(UntrustedRepositoryTest, ASettingThatLowersTheUsersCheckKeepsTheCommandFromRunning) {
    const std::string bad =
        "git config --global transfer.fsckObjects true && git init -q .git/src && "
        "printf '[submodule \"x\"]\\n\\tpath = x\\n\\turl = --upload-pack=x\\n' >.git/src/.gitmodules && "
        "git -C .git/src add -A && git -C .git/src -c user.name=T -c user.email=t@example.invalid "
        "commit -qm bad && ";
    const std::string fetch = "git fetch -q .git/src HEAD && touch marker";
    expectClosed({
        {"fetch.fsckObjects", bad + "git config fetch.fsckObjects false", fetch,
         "sets fetch.fsckobjects: harmless only as one of"},
        {"transfer.fsckObjects", bad + "git config transfer.fsckObjects false", fetch,
         "sets transfer.fsckobjects"},
        {"a fetch's level ignore", bad + "git config fetch.fsck.gitmodulesUrl ignore", fetch,
         "sets fetch.fsck.gitmodulesurl"},
        {"a fetch's level warn", bad + "git config fetch.fsck.gitmodulesUrl warn", fetch,
         "sets fetch.fsck.gitmodulesurl"},
        {"git fsck's level ignore",
         bad + "git -c transfer.fsckObjects=false fetch -q .git/src HEAD && "
               "git update-ref refs/heads/bad FETCH_HEAD && git config fsck.gitmodulesUrl ignore",
         "git fsck && touch marker", "sets fsck.gitmodulesurl"},
    });
}

// Repositories as the tools beside git leave them, each in a fresh repository with an address over the
// network: the user's git status, log, diff and branch print and end there exactly as under plain git.
// git-lfs and git svn run here; the keys of the others are written as they write them.
TEST(UntrustedRepositoryTest, RepositoriesAsOtherToolsLeaveThemBehaveAsUnderPlainGit) {
    const test::ScopedEnv homeVariable{"HOME", std::getenv("HOME")};
    const test::ScopedEnv noSystem{"GIT_CONFIG_NOSYSTEM", "1"};
    const test::ScopedEnv date{"GIT_AUTHOR_DATE", "@1700000000 +0000"};
    const test::ScopedEnv committed{"GIT_COMMITTER_DATE", "@1700000000 +0000"};
    const test::TempDir dir;
    const test::ScopedEnv home{"HOME", dir.path().c_str()};
    struct Tool {
        std::string name;
        std::string writes;
        // What the commands print where the tool takes part.
        std::string shows = "+two";
    };
    const std::string lfsEndpoint = "lfs.https://example.invalid/r.git/info/lfs";
    const std::vector<Tool> tools = {
        {"git-lfs",
         "git lfs install --local >/dev/null && git lfs track '*.bin' >/dev/null && echo a >a.bin && "
         "git add -A && git commit -qm lfs && echo b >>a.bin",
         "+oid sha256:"},
        {"git-lfs after a login", "git config " + lfsEndpoint + ".access basic && git config " + lfsEndpoint +
                                      ".locksverify false && git config lfs.fetchexclude 'big/*'"},
        {"git-lfs written by hand", "git config lfs.repositoryformatversion 0 && "
                                    "git config filter.lfs.clean 'git-lfs clean -- %f' && "
                                    "git config filter.lfs.smudge 'git-lfs smudge -- %f' && "
                                    "git config filter.lfs.process 'git-lfs filter-process' && "
                                    "git config filter.lfs.required true && "
                                    "echo '*.bin filter=lfs diff=lfs merge=lfs -text' >.gitattributes"},
        {"gh", "git config remote.origin.gh-resolved base && git config branch.main.gh-merge-base main"},
        {"VS Code", "git config branch.main.vscode-merge-base origin/main"},
        {"VS Code's pull requests", "git config branch.main.github-pr-owner-number 'o#r#1'"},
        {"VS Code's pull requests, into a release branch",
         "git config branch.main.github-pr-base-branch 'o#r#release/1.0' && "
         "git config remote.origin.github-pr-remote true"},
        {"git-town", "git config git-town.main-branch main && git config git-town.branch-prefix kg/ && "
                     "git config git-town.perennial-branches 'release/1 release/2' && "
                     "git config git-town.perennial-regex '^(release|hotfix)/' && "
                     "git config git-town.feature-regex '^feature/' && "
                     "git config git-town-branch.feature/b.parent feature/a && "
                     "git config git-town-branch.feature/b.branchtype feature"},
        {"git-review", "git config gitreview.remote origin && git config gitreview.username u"},
        {"git svn", "git svn init https://svn.example.invalid/r/trunk >/dev/null"},
        {"scalar", "git config core.fscache true && git config core.multipackindex true && "
                   "git config core.preloadindex true && git config core.untrackedcache true && "
                   "git config core.autocrlf false && git config core.safecrlf false && "
                   "git config am.keepcr true && "
                   "git config credential.https://dev.azure.com.usehttppath true && "
                   "git config credential.validate false && git config gc.auto 0 && "
                   "git config gui.GCWarning false && git config index.threads true && "
                   "git config index.version 4 && git config merge.stat false && "
                   "git config merge.renames true && git config pack.useBitmaps false && "
                   "git config pack.useSparse true && git config receive.autoGC false && "
                   "git config feature.manyFiles false && git config feature.experimental false && "
                   "git config fetch.unpackLimit 1 && git config fetch.writeCommitGraph false && "
                   "git config fetch.showForcedUpdates false && git config status.aheadBehind false && "
                   "git config commitGraph.generationVersion 1 && "
                   "git config log.excludeDecoration 'refs/prefetch/*'"},
        {"husky", "mkdir -p .husky/_ && echo '*' >.husky/_/.gitignore && git config core.hooksPath .husky/_"},
        {"husky, older", "mkdir .husky && git config core.hooksPath .husky/"},
        {"a project's hooks", "mkdir .githooks && git config core.hooksPath .githooks"},
        {"a project's hooks, written otherwise", "git config core.hooksPath ./.husky/_"},
        // As git flow init writes them: the hooks folder is the git directory's own, as the shell names it.
        {"git-flow", "git config gitflow.branch.master main && git config gitflow.branch.develop develop && "
                     "for p in feature bugfix release hotfix support; do git config gitflow.prefix.$p $p/; "
                     "done && git config gitflow.prefix.versiontag '' && "
                     "git config gitflow.path.hooks \"$(cd \"$(git rev-parse --git-dir)\" && pwd)/hooks\""},
        {"git gui", "git config gui.wmstate normal && git config gui.geometry '1205x669+52+52 248 228'"},
        {"settings of their own", "git config core.longpaths true && git config http.postBuffer 524288000 && "
                                  "git config log.showSignature false"},
        {"no fsmonitor", "git config core.fsmonitor false"},
        {"an http version", "git config http.version HTTP/1.1"},
        {"a remote named with a slash", "git remote add team/origin https://example.invalid/x.git && "
                                        "git config branch.main.remote team/origin"},
        {"a commit template, revisions blame skips",
         "echo t >.gitmessage && git config commit.template .gitmessage && "
         "git rev-parse HEAD >.revs && git config blame.ignoreRevsFile .revs"},
        {"patterns of its own", "echo '*.log' >.x && git config core.excludesFile .x && "
                                "echo '*.txt diff=py' >.y && git config core.attributesFile .y"},
        {"a diff driver's functions",
         "git config diff.py.xfuncname '^def .*' && git config diff.img.binary true"},
        {"web timeouts", "git config http.lowSpeedLimit 1000 && git config http.lowSpeedTime 60 && "
                         "git config http.sslVerify true"},
        {"trailers",
         "git config trailer.sign.key 'Signed-off-by: ' && git config trailer.sign.ifexists replace"},
        {"a user name", "git config credential.https://example.invalid.username u"},
        {"a mirror", "git config url.https://mirror.invalid/.insteadOf https://example.invalid/ && "
                     "git config url.git@example.invalid:.pushInsteadOf https://example.invalid/"},
        {"git-annex", "git config annex.uuid 6b1c4ac8-3f2e-4d39-9b1e-2f5c6a7d8e9f && "
                      "git config annex.version 10 && git config annex.backend SHA256E"},
        {"git-branchless",
         "git config branchless.smartlog.defaultRevset '((draft() | branches() | @) % main())' && "
         "git config branchless.revsets.alias.d 'draft()'"},
    };
    ShellCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    const std::string line = "for c in status 'log -1' diff branch; do git $c 2>&1; echo \"exit $?\"; done";
    for (std::size_t index = 0; index < tools.size(); ++index) {
        SCOPED_TRACE(tools[index].name);
        const std::string made = "git init -q -b main && git config user.name T && "
                                 "git config user.email t@example.invalid && "
                                 "git remote add origin https://example.invalid/r.git && echo one >a.txt && "
                                 "git add -A && git commit -qm one && " +
                                 tools[index].writes + " && echo two >>a.txt";
        std::vector<ShellCommandRunner::RunResult> results;
        for (const auto folder :
             {ShellCommandRunner::Folder::trusted, ShellCommandRunner::Folder::untrusted}) {
            const auto root = dir.path() / std::to_string(static_cast<int>(folder)) / std::to_string(index);
            std::filesystem::create_directories(root);
            ASSERT_EQ(std::system(("cd '" + root.string() + "' && " + made).c_str()), 0);
            results.push_back(runner.run(line, root.string(), 20, folder));
        }
        EXPECT_EQ(results[1].output, results[0].output);
        EXPECT_EQ(results[1].status, results[0].status);
        EXPECT_THAT(results[0].output, testing::HasSubstr(tools[index].shows));
    }
}

// git flow runs "<gitflow.path.hooks>/pre-flow-<command>" (the command here stands in for it): a hooks
// folder other than the git directory's own, which git flow init writes, keeps the command from running.
TEST(UntrustedRepositoryTest, AHooksFolderOfGitFlowOtherThanTheGitDirectorysWaits) {
    const auto hooksIn = [](const std::string& folder, const std::string& value) {
        return "mkdir -p " + folder + " && printf '#!/bin/sh\\nMARK\\n' >" + folder +
               "/pre-flow-feature-start && git config gitflow.path.hooks " + value;
    };
    const std::string runsHook = "sh \"$(git config gitflow.path.hooks)/pre-flow-feature-start\"";
    expectClosed({
        {"a folder of the work tree, as git flow init writes husky's", hooksIn(".husky/_", ".husky/_"),
         runsHook, ".git/config sets gitflow.path.hooks: names the folder of hooks git flow runs"},
        {"a folder of the work tree by its full path", hooksIn("hooks", "\"$PWD/hooks\""), runsHook,
         "sets gitflow.path.hooks"},
        {"the hooks of another repository",
         "git init -q other && " + hooksIn("other/.git/hooks", "\"$PWD/other/.git/hooks\""), runsHook,
         "sets gitflow.path.hooks"},
    });
}

// A key that no rule knows and git does not read, as a tool of the user's may read it, in a folder not
// trusted: it passes where its value can name no program or file of the folder, and waits where it may
// (a path into the folder, also through a link or /proc/self/cwd, a relative path, shell syntax).
TEST(UntrustedRepositoryTest, AKeyNoRuleKnowsWaitsWhereItsValueMayNameAFileOfTheFolder) {
    const test::UntrustedRepository repository;
    const test::TempDir outside;
    const std::string root = repository.repo.root();
    const std::string out = outside.path().string();
    ASSERT_TRUE(repository.repo.sh("ln -s '" + root + "' '" + out + "/in' && ln -s '" + out + "' out"));
    struct Case {
        std::string value;
        bool waits;
    };
    const Case cases[] = {
        {root + "/a.txt", true},
        {root + "/later/m.sh", true},
        {out + "/in/a.txt", true},
        {root + "/out/x", true},
        {"/proc/self/cwd/a.txt", true},
        {"file://" + root + "/a.txt", true},
        {"./m.sh", true},
        {"x/y", true},
        {"../x", true},
        {".", true},
        {"python3 tools/x.py", true},
        {"--binary=./m.sh", true},
        {"$(m.sh)", true},
        {"`m.sh`", true},
        {"x; m.sh", true},
        {"x | m.sh", true},
        {"x && m.sh", true},
        {"x > f", true},
        {"\"x\"", true},
        {"/?" + root.substr(2) + "/m.sh", true},
        {"/*" + root.substr(root.find('/', 1)) + "/m.sh", true},
        {root.substr(0, root.size() - 1) + "[" + root.back() + "]/m.sh", true},
        {"/{" + root.substr(1, 1) + ".." + root.substr(1, 1) + "}" + root.substr(2) + "/m.sh", true},
        {"/usr/share/*/copyright", false},
        {"[A-Z0-9]{20}", false},
        {"clang-format", false},
        {"hello world", false},
        {"o#r#1", false},
        {"42", false},
        {"true", false},
        {"", false},
        {"https://example.invalid/a/b", false},
        {"git@example.invalid:o/r.git", false},
        {"/usr/bin/clang-format", false},
        {out + "/x", false},
        {"~/bin/tool", false},
    };
    for (const auto& [value, waits] : cases) {
        SCOPED_TRACE(value);
        std::string quoted = value;
        for (std::size_t at = quoted.find('\''); at != std::string::npos; at = quoted.find('\'', at + 4)) {
            quoted.replace(at, 1, "'\\''");
        }
        ASSERT_TRUE(repository.repo.sh("git config mytool.program '" + quoted + "'"));
        ShellCommandRunner runner(std::make_shared<LinuxProcessRunner>());
        const test::LogCapture log;
        const auto result = runner.run("echo ran", root, 20);
        EXPECT_EQ(result.waitingReason.has_value(), waits) << result.waitingReason.value_or("");
        EXPECT_EQ(result.output, waits ? "" : "ran\n");
        if (waits && result.waitingReason) {
            EXPECT_THAT(*result.waitingReason,
                        testing::HasSubstr("sets mytool.program: a key no rule knows"));
        }
    }
}

} // namespace
} // namespace korvane
