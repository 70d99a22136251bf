#include "platform/linux/linuxprocessrunner.h"
#include "providers/shellcommandrunner.h"
#include "untrustedrepository.h"

#include <gmock/gmock.h>

namespace korvane {
namespace {

using test::expectClosed;
using test::Route;
using test::UntrustedRepository;

// A program of the folder's, m.sh at the top, that leaves the marker.
const std::string markScript = "printf '#!/bin/sh\\nMARK\\nexit 1\\n' >m.sh && chmod +x m.sh && ";
// A copy of the repository in sub/.hid whose alias "zz" and file-system monitor leave the marker.
const std::string hiddenBelow = markScript + "mkdir sub && cp -r .git sub/.hid && "
                                             "git config -f sub/.hid/config alias.zz '!MARK' && "
                                             "git config -f sub/.hid/config core.fsmonitor \"$PWD/m.sh\" && ";
// The alias "zz" that leaves the marker, in a file `cfg` of the branch "evil"; the checked-out branch
// holds it without the alias.
const std::string trackedConfig = "cp .git/config cfg && git add cfg && git commit -qm cfg && "
                                  "git config -f cfg alias.zz '!MARK' && git commit -qam evil && "
                                  "git branch evil && git reset -q --hard HEAD~1 && ";
// The same as a file `gd/config` of a git directory gd that the top's .git file names.
const std::string trackedGitDir =
    "mkdir gd && cp .git/config gd/config && git add gd/config && git commit -qm cfg && "
    "git config -f gd/config alias.zz '!MARK' && git commit -qam evil && git branch evil && "
    "git reset -q --hard HEAD~1 && cp -rn .git/. gd/ && rm -rf .git && echo 'gitdir: gd' >.git";
// The user's name for the commits of repositories other than the top's.
const std::string identity =
    "git config --global user.name T && git config --global user.email t@example.invalid && ";
// A submodule "sub" cloned from a repository kept in .git/src by an address over the network, as a
// download's.
const std::string withSubmodule =
    identity + "git init -q .git/src && echo s >.git/src/s.txt && git -C .git/src add -A && "
               "git -C .git/src commit -qm s && git -c protocol.file.allow=always -c "
               "url.\"$PWD/.git/\".insteadOf=https://example.invalid/ submodule add -q "
               "https://example.invalid/src sub && git commit -qm sub && ";
// Two commits on "side", the first of which a cherry-pick of both stops at; its options name the merge
// strategy "../evil", which git runs as git-merge-../evil from the top.
const std::string stoppedCherryPick =
    "git checkout -qb side && echo b >b.txt && git add . && git commit -qm b && echo c >c.txt && "
    "git add . && git commit -qm c && git checkout -q - && echo x >b.txt && git add . && "
    "git commit -qm x && { git cherry-pick side~1 side >/dev/null 2>&1; true; } && echo z >b.txt && "
    "git add b.txt && printf '[options]\\n\\tstrategy = ../evil\\n' >.git/sequencer/opts && "
    "mkdir git-merge-.. && printf '#!/bin/sh\\nMARK\\nexit 1\\n' >git-merge-../evil && "
    "chmod +x git-merge-../evil";

// A change to a.c since HEAD that git clang-format hands its formatter.
const std::string clangFormatChange =
    "echo 'int  x;' >a.c && git add a.c && git commit -qm c && echo 'int  y;' >>a.c && ";

// Where a repository is found (a .git git meets from the project and above it that leads elsewhere for
// git run below), which repositories git reaches besides (a linked worktree inside the project), what the
// command's own git may rewrite after the reading (a git directory or configuration in a work tree), and
// what git continues (a rebase or sequence in progress), a format that starts the user's gpg on the
// folder's signatures, and the program a `git-*` tool reads from the configuration: each runs the marker
// under plain git, and no command runs it in a folder not trusted.
TEST(UntrustedRoutesTest, EveryRouteToAProgramOfTheFoldersIsClosed) {
    expectClosed({
        {"a top .git file naming /proc/self/cwd, no repository from the top",
         hiddenBelow + "rm -rf .git && echo 'gitdir: /proc/self/cwd/.hid' >.git", "git -C sub zz",
         "/.git is no repository for git here"},
        {"the same, git status below the top",
         hiddenBelow + "rm -rf .git && echo 'gitdir: /proc/self/cwd/.hid' >.git",
         "cd sub && git status --short", "/.git is no repository for git here"},
        {"a top .git linking into /proc/self/cwd, no repository from the top",
         hiddenBelow + "rm -rf .git && ln -s /proc/self/cwd/.hid .git", "cd sub && git zz",
         "/.git leads through /proc,"},
        {"refs linking into /proc/self/cwd",
         "mkdir sub && git config alias.zz '!MARK' && mv .git/refs sub/r && ln -s /proc/self/cwd/r .git/refs",
         "git -C sub zz", "/.git/refs leads through /proc,"},
        {"objects linking into /proc/self/cwd",
         "mkdir sub && git config alias.zz '!MARK' && mv .git/objects sub/o && "
         "ln -s /proc/self/cwd/o .git/objects",
         "git -C sub zz", "/.git/objects leads through /proc,"},
        {"a commondir naming /proc/self/cwd, no repository from the top",
         "mkdir sub && git config alias.zz '!MARK' && cp -r .git sub/c && "
         "rm -rf .git/refs .git/objects .git/config && echo /proc/self/cwd/c >.git/commondir",
         "git -C sub zz", "/.git/commondir names a path that leads through /proc,"},
        {"a .git file above the project naming /proc/self/cwd",
         hiddenBelow + "mkdir -p sub/p && mv sub/.hid sub/p/.hid && rm -rf .git && "
                       "echo 'gitdir: /proc/self/cwd/.hid' >.git",
         "cd p && git zz", "/.git is no repository for git here", "sub"},
        {"a linked worktree inside the project with its own config.worktree",
         markScript + "git worktree add -q wt && git config extensions.worktreeConfig true && "
                      "git -C wt config --worktree core.fsmonitor \"$PWD/m.sh\"",
         "cd wt && git status --short", "config.worktree sets core.fsmonitor"},
        {"a git directory in the work tree, its config rewritten by checkout", trackedGitDir,
         "git checkout -q evil && git zz", "/.git names a path that lies in the work tree"},
        {"the same, rewritten by cherry-pick", trackedGitDir, "git cherry-pick evil >/dev/null && git zz",
         "/.git names a path that lies in the work tree"},
        {"a config linked to a tracked file, rewritten by reset --hard",
         trackedConfig + "git reset -q --soft evil && ln -sf ../cfg .git/config",
         "git reset -q --hard && git zz", "/.git/config leads through"},
        {"the same, rewritten by restore", trackedConfig + "git reset -q evil && ln -sf ../cfg .git/config",
         "git restore cfg && git zz", "/.git/config leads through"},
        {"the same, rewritten by merge", trackedConfig + "ln -sf ../cfg .git/config",
         "git merge -q evil && git zz", "/.git/config leads through"},
        {"a config.worktree linked to a tracked file, rewritten by checkout",
         markScript +
             "git config core.repositoryformatversion 1 && git config extensions.worktreeConfig true "
             "&& git config -f w core.fsmonitor \"$PWD/m.sh\" && git add w && git commit -qm w && "
             "git branch evil && : >w && git commit -qam empty && ln -s ../w .git/config.worktree",
         "git checkout -q evil && git status --short", "/.git/config.worktree leads through"},
        {"a submodule's config linked to a tracked file, rewritten by stash",
         markScript + withSubmodule +
             "cp .git/modules/sub/config scfg && git config -f scfg core.fsmonitor \"$PWD/m.sh\" && "
             "git add scfg && git commit -qm scfg && cp .git/modules/sub/config scfg && "
             "ln -sf ../../../scfg .git/modules/sub/config",
         "git stash -q && git status --short", "/.git/modules/sub/config leads through"},
        {"a shipped rebase that runs a command",
         "echo b >>a.txt && git commit -qam b && "
         "GIT_SEQUENCE_EDITOR=\"sed -i '1i break'\" git rebase -q -i HEAD~1 && "
         "{ echo \"exec MARK\"; cat .git/rebase-merge/git-rebase-todo; } >t && "
         "mv t .git/rebase-merge/git-rebase-todo",
         "git rebase --continue", "/.git/rebase-merge holds"},
        {"a shipped cherry-pick sequence naming a merge strategy of the folder's", stoppedCherryPick,
         "git cherry-pick --continue", "/.git/sequencer holds"},
        {"the project a git directory of its own whose work tree is itself",
         markScript + "mkdir app && cd app && git init -q --bare . && git config core.bare false && "
                      "git config core.worktree . && git config core.fsmonitor \"$OLDPWD/m.sh\"",
         "git status --short", "the command's own checkout, reset or merge may make it in the work tree",
         "app"},
        {"the program git clang-format runs",
         markScript + clangFormatChange + "git config clangformat.binary \"$PWD/m.sh\"",
         "git clang-format --diff",
         ".git/config sets clangformat.binary: names the program git clang-format runs"},
        {"a format that checks the signatures of the folder's commits with the user's gpg",
         "printf '#!/bin/sh\\nMARK\\nexit 1\\n' >\"$HOME/gpg\" && chmod +x \"$HOME/gpg\" && "
         "git config --global gpg.program \"$HOME/gpg\" && git cat-file commit HEAD >c && "
         "{ sed -n '1,/^committer/p' c; printf 'gpgsig -----BEGIN PGP SIGNATURE-----\\n \\n x\\n "
         "-----END PGP SIGNATURE-----\\n'; sed '1,/^committer/d' c; } >s && "
         "git update-ref HEAD $(git hash-object -t commit -w s) && rm c s && git config format.pretty '%G?'",
         "git log -1", ".git/config sets format.pretty: harmless only as one of"},
    });
}

// Repositories as users make them, beside the shapes above: each command prints and ends in a folder not
// trusted as in a trusted one.
TEST(UntrustedRoutesTest, OrdinaryRepositoriesRunAsUnderPlainGit) {
    struct Case {
        const char* name;
        std::string setup;
        std::string command;
    };
    const std::string sparseFolder = "mkdir d && echo d >d/f && git add d && git commit -qm d && ";
    const std::vector<Case> cases = {
        {"a linked worktree outside the project, sparse",
         sparseFolder + "git worktree add -q \"$HOME/wt\" && git -C \"$HOME/wt\" sparse-checkout set d",
         "git status --short && git worktree list | wc -l"},
        {"a linked worktree inside the project, sparse",
         sparseFolder + "git worktree add -q wt && git -C wt sparse-checkout set d",
         "cd wt && git status --short && git sparse-checkout list"},
        {"a repository that was there before it became a submodule",
         identity + "git init -q sub && git -C sub commit -q --allow-empty -m s && "
                    "git submodule add -q https://example.invalid/sub sub && git commit -qm sub",
         "git status --short && git submodule status"},
        {"the project a linked worktree of a repository elsewhere",
         identity + "git init -q \"$HOME/main\" && git -C \"$HOME/main\" commit -q --allow-empty -m m && rm "
                    "-rf .git "
                    "a.txt "
                    "&& git -C \"$HOME/main\" worktree add -q \"$PWD\"",
         "git status --short && git log --oneline | wc -l"},
    };
    ShellCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    for (const auto& [name, setup, command] : cases) {
        SCOPED_TRACE(name);
        const UntrustedRepository repository;
        ASSERT_TRUE(repository.repo.sh(setup)) << setup;
        const std::string line = "{ " + command + "; } 2>&1; echo \"exit $?\"";
        const auto untrusted = runner.run(line, repository.repo.root(), 20);
        const auto trusted =
            runner.run(line, repository.repo.root(), 20, ShellCommandRunner::Folder::trusted);
        EXPECT_EQ(untrusted, trusted);
        EXPECT_THAT(trusted.output, testing::HasSubstr("exit 0"));
    }
}

} // namespace
} // namespace korvane
