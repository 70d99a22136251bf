#include "files/gitcommandrunner.h"
#include "files/gitrepo.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/customprovider.h"
#include "providers/shellcommandrunner.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"
#include "untrustedrepository.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using RunResult = ShellCommandRunner::RunResult;
using test::expectClosed;
using test::Route;
using test::UntrustedRepository;

// A program of the repository's own, "MARK" run from a script .git/m that exits 1.
const std::string markScript = "printf '#!/bin/sh\\nMARK\\nexit 1\\n' >.git/m && chmod +x .git/m && ";
// git options under which the address https://example.invalid/<x> reaches the repository .git/<x>:
// the configuration keeps the address over the network, as a download's does.
const std::string served =
    "-c protocol.file.allow=always -c url.\"$PWD/.git/\".insteadOf=https://example.invalid/ ";
// A submodule "sub" with a file s.txt, cloned from a repository kept in .git/src, whose checked-out
// commit is older than the one the top repository records.
const std::string withSubmodule =
    "git config --global user.name T && git config --global user.email t@example.invalid && "
    "git init -q .git/src && echo s >.git/src/s.txt && git -C .git/src add -A && "
    "git -C .git/src commit -qm s && echo t >>.git/src/s.txt && git -C .git/src commit -qam t && "
    "git " + served + "submodule add -q https://example.invalid/src sub && git commit -qm sub && "
    "git -C sub checkout -q HEAD~1 && ";
// A gitlink "inner" whose folder holds a repository of its own, with a file whose content git must look
// at again under the filter "evil" that its attributes name.
const std::string withInner = "git init -q inner && mkdir inner/d && echo s >inner/d/s.txt && "
                              "echo '*.txt filter=evil' >inner/d/.gitattributes && git -C inner add -A && "
                              "git -C inner -c user.name=T -c user.email=t@example.invalid commit -qm s && "
                              "git add inner 2>/dev/null && git commit -qm inner && ";
const std::string touchInner = " && cp inner/d/s.txt b && mv b inner/d/s.txt";
// A file of the submodule "sub" under attributes of a folder below its top that name the filter "evil".
const std::string subFile =
    "mkdir sub/d && echo s >sub/d/s.txt && echo '*.txt filter=evil' >sub/d/.gitattributes && "
    "git -C sub add -A && git -C sub commit -qm d && ";
const std::string touchSub = " && cp sub/d/s.txt b && mv b sub/d/s.txt";

// Ways through a reading that resolved configuration paths itself rather than asking git: a link
// inside the git directory, /proc/self seen from another process, a modules folder that links to
// another repository, a remote helper's name, a tool's name, an alias of three parts.
std::vector<Route> resolutionRoutes() {
    return {
        {"a submodule's include through a link",
         withSubmodule + subFile +
             "mkdir -p .git/modules/sub/a/b && ln -s a/b .git/modules/sub/lnk && "
             "printf '[filter \"evil\"]\\n\\tclean = MARK; cat\\n' >.git/modules/sub/a/evil.cfg && "
             "git -C sub config include.path lnk/../evil.cfg" +
             touchSub,
         "git status --short", "sub/config sets include.path: includes another file"},
        {"an include through a link whose branch condition comes true",
         "git branch other && mkdir -p .git/a/b && ln -s a/b .git/lnk && "
         "printf '[trailer \"sign\"]\\n\\tkey = Signed: \\n\\tcommand = MARK; echo x\\n' >.git/a/evil.cfg && "
         "git config includeIf.onbranch:other.path lnk/../evil.cfg",
         "git checkout -q other && git commit -q --allow-empty -m x --trailer sign=a",
         ".git/config sets includeif.onbranch:other.path"},
        {"a submodule's include of /proc/self/cwd",
         withSubmodule + subFile +
             "printf '[filter \"evil\"]\\n\\tclean = MARK; cat\\n' >sub/evil.cfg && "
             "git -C sub config include.path /proc/self/cwd/evil.cfg" +
             touchSub,
         "git status --short", "sub/config sets include.path"},
        {"a gitlink's .git naming /proc/self/cwd",
         withInner +
             "git init -q --bare .g && mv inner/.git inner/.g && "
             "echo 'gitdir: /proc/self/cwd/.g' >inner/.git && git -C inner config filter.evil.clean "
             "'MARK; cat'" +
             touchInner,
         "git status --short", "inner/.git names a path that leads through /proc,"},
        {"a modules folder that links to another repository",
         "git config --global user.name T && git config --global user.email t@example.invalid && "
         "git init -q .git/src && echo s >.git/src/s.txt && echo '*.txt filter=evil' "
         ">.git/src/.gitattributes && "
         "git -C .git/src add -A && git -C .git/src commit -qm s && "
         "git -c protocol.file.allow=always submodule add -q \"$PWD/.git/src\" sub && git commit -qm sub && "
         "git submodule deinit -q -f sub && mv .git/modules/sub .git/evil && ln -s ../evil .git/modules/sub "
         "&& "
         "git --git-dir=.git/evil config filter.evil.smudge 'MARK; cat' && "
         "git config -f .gitmodules submodule.sub.url /nonexistent/unreachable && "
         "git config submodule.sub.url /nonexistent/unreachable",
         "git submodule update --init", ".git/modules/sub is a link"},
        {"a remote helper named by a path",
         "mkdir git-remote-.. && printf '#!/bin/sh\\nMARK\\n' >evil && chmod +x evil && "
         "git remote add origin https://example.invalid/x && git config remote.origin.vcs ../../evil",
         "git ls-remote origin", ".git/config sets remote.origin.vcs: names a program run for the remote"},
        {"a diff tool named by a path",
         "echo 'MARK' >evil.sh && git config diff.tool ../../../../proc/self/cwd/evil.sh && echo two >>a.txt",
         "git difftool -y", ".git/config sets diff.tool"},
        {"an alias of three parts", "git config alias.x.y '!MARK'", "git x.y",
         ".git/config sets alias.x.y: defines an alias"},
    };
}

TEST(UntrustedRepositoryTest, WhatGitResolvesItselfRunsNothingOfTheFolders) {
    expectClosed(resolutionRoutes());
}

// Korvane's own git, whatever the folder names, starts none of it: each command it runs itself, in
// each folder of the routes above.
TEST(UntrustedRepositoryTest, KorvanesOwnGitRunsNothingOfTheFolders) {
    const GitCommandRunner git(std::make_shared<LinuxProcessRunner>());
    for (const auto& route : resolutionRoutes()) {
        SCOPED_TRACE(route.name);
        const UntrustedRepository untrusted;
        ASSERT_TRUE(untrusted.repo.sh(untrusted.marking(route.setup + " && rm -f MARKPATH"))) << route.setup;
        for (const std::vector<std::string>& arguments :
             std::vector<std::vector<std::string>>{{"status", "--porcelain", "--untracked-files=all"},
                                                   {"ls-files", "--cached", "--others", "--exclude-standard"},
                                                   {"log", "-3", "--name-only", "--pretty=format:"},
                                                   {"for-each-ref", "refs/heads"},
                                                   {"remote", "get-url", "origin"},
                                                   {"rev-parse", "--show-prefix"}}) {
            git.run(arguments, untrusted.repo.root(), 10);
        }
        EXPECT_FALSE(untrusted.marked());
    }
}

TEST(UntrustedRepositoryTest, NoProgramTheRepositoryNamesRuns) {
    expectClosed({
        {"core.fsmonitor", markScript + "git config core.fsmonitor \"$PWD/.git/m\"", "git status --short",
         "sets core.fsmonitor: starts a program"},
        {"clean filter",
         "echo '*.txt filter=evil' >.gitattributes && git add -A && git commit -qm f && "
         "git config filter.evil.clean 'MARK; cat' && cp a.txt b && mv b a.txt",
         "git status --short", "sets filter.evil.clean"},
        {".git/hooks",
         "printf '#!/bin/sh\\nMARK\\n' >.git/hooks/pre-commit && chmod +x .git/hooks/pre-commit",
         "git commit -q --allow-empty -m x", ""},
        {"a git-lfs extension, which git-lfs runs as git's filter",
         markScript + "git lfs install --local >/dev/null && git lfs track '*.bin' >/dev/null && "
                      "git config lfs.extension.m.clean \"$PWD/.git/m %f\" && "
                      "git config lfs.extension.m.smudge cat && git config lfs.extension.m.priority 0 && "
                      "echo b >a.bin",
         "git add a.bin", "sets lfs.extension.m.clean: configures git-lfs"},
        {"textconv",
         "echo '*.txt diff=evil' >.gitattributes && git add -A && git commit -qm f && "
         "git config diff.evil.textconv 'MARK; cat' && echo two >>a.txt",
         "git diff", "sets diff.evil.textconv"},
        {"diff.external", "git config diff.external 'MARK; true' && echo two >>a.txt", "git diff",
         "sets diff.external"},
        {"alias", "git config --global alias.st status && git config alias.st '!MARK'", "git st",
         "sets alias.st"},
        {"a submodule's core.fsmonitor",
         markScript + withSubmodule + "git -C sub config core.fsmonitor \"$PWD/.git/m\"",
         "git status --short", ".git/modules/sub/config sets core.fsmonitor"},
        {"a nested submodule's core.fsmonitor",
         markScript + withSubmodule +
             "git init -q .git/n && echo n >.git/n/n.txt && git -C .git/n add -A && "
             "git -C .git/n commit -qm n && "
             "git -C sub " + served + "submodule add -q https://example.invalid/n n && "
             "git -C sub/n config core.fsmonitor \"$PWD/.git/m\"",
         "git status --short", "sets core.fsmonitor"},
        {"a git directory whose name holds a line break",
         withInner +
             "mv inner/.git \".git/$(printf 'in\\nx')\" && printf 'gitdir: ../.git/in\\nx\\n' >inner/.git && "
             "git -C inner config filter.evil.clean 'MARK; cat'" +
             touchInner,
         "git status --short", "sets filter.evil.clean"},
        {"an ext address of .gitmodules where the user allows ext",
         "git config --global protocol.ext.allow always && git config --global user.name T && "
         "git config --global user.email t@example.invalid && "
         "git -c protocol.file.allow=always submodule add -q \"$PWD\" sub && "
         "git config -f .gitmodules submodule.sub.url 'ext::sh -c touch% MARKPATH' && "
         "git commit -qam ext && git submodule deinit -q -f sub && rm -rf .git/modules/sub",
         "git submodule update --init", ""},
    });
    // In a folder the user trusted, git is left as it is.
    const UntrustedRepository trusted;
    ASSERT_TRUE(trusted.repo.sh(trusted.marking("git config alias.st '!MARK'")));
    trusted.runAsGlobalProvider("git st", CommandTrust{.trustsFolder = [&](const std::string& folder) {
                                    return folder == trusted.repo.root();
                                }});
    EXPECT_TRUE(trusted.marked());
}

// The user's own ssh program, which runs the remote's command in .git: the address up:x reaches .git/x
// through a transport of the network's kind.
const std::string usersSsh =
    "printf '#!/bin/sh\\nfor a; do c=$a; done\\ncd \"%s\" && exec sh -c \"$c\"\\n' \"$PWD/.git\" "
    ">\"$HOME/ssh\" && chmod +x \"$HOME/ssh\" && git config --global core.sshCommand \"$HOME/ssh\" && ";

// Hooks come with a download in every git directory and no setting names them: a command that runs
// runs none of them, whatever git does there, and the user's own absolute hooks folder stays.
TEST(UntrustedRepositoryTest, TheHooksThatCameWithTheFolderNeverRun) {
    const std::string hooks =
        withSubmodule +
        "for d in .git/hooks .git/modules/sub/hooks; do for h in pre-commit post-commit "
        "post-checkout reference-transaction post-merge pre-push post-rewrite; do "
        "printf '#!/bin/sh\\nMARK\\n' >$d/$h && chmod +x $d/$h; done; done && "
        "git branch other && git init -q --bare .git/up.git && " + usersSsh + "git remote add up up:up.git";
    std::vector<Route> routes;
    for (const char* verb :
         {"git commit -q --allow-empty -m x", "git checkout -q other", "git merge -q other",
          "git -C sub commit -q --allow-empty -m x", "git push -q up HEAD", "git commit -q --amend -m y"}) {
        routes.push_back({verb, hooks, verb, ""});
    }
    routes.push_back({"a relative hooks folder of the user's own",
                      "git config --global core.hooksPath .githooks && mkdir .githooks && "
                      "printf '#!/bin/sh\\nMARK\\n' >.githooks/pre-commit && chmod +x .githooks/pre-commit",
                      "git commit -q --allow-empty -m x", ""});
    // Whatever hooks folder the folder's configuration names (husky's, a project's own, one in the git
    // directory or elsewhere), the one Korvane sets outranks it.
    for (const std::string folder :
         {".husky/_", ".husky/", "./.husky/_", ".githooks", ".git/h", "\"$PWD/.git/h\""}) {
        routes.push_back({"the hooks folder " + folder,
                          "mkdir -p " + folder + " && printf '#!/bin/sh\\nMARK\\n' >" + folder +
                              "/pre-commit && chmod +x " + folder +
                              "/pre-commit && git config core.hooksPath " + folder,
                          "git commit -q --allow-empty -m x", ""});
    }
    expectClosed(routes);

    const UntrustedRepository untrusted;
    ASSERT_TRUE(untrusted.repo.sh(
        untrusted.marking("mkdir .git/own-hooks && printf '#!/bin/sh\\nMARK\\n' "
                          ">.git/own-hooks/pre-commit && chmod +x .git/own-hooks/pre-commit && "
                          "git config --global core.hooksPath \"$PWD/.git/own-hooks\"")));
    untrusted.runAsGlobalProvider("git commit -q --allow-empty -m x");
    EXPECT_TRUE(untrusted.marked());
}

// git reads GIT_CONFIG_PARAMETERS after the settings Korvane hands the command: set in Korvane's own
// environment, a relative hooks folder or the local transport allowed there would run the folder's
// hooks.
TEST(UntrustedRepositoryTest, SettingsInKorvanesEnvironmentOutrankNoneThatItGives) {
    const std::vector<std::pair<const char*, Route>> cases = {
        {"'core.hookspath'='.githooks'",
         {"a relative hooks folder",
          "mkdir .githooks && printf '#!/bin/sh\\nMARK\\n' >.githooks/pre-commit && "
          "chmod +x .githooks/pre-commit",
          "git commit -q --allow-empty -m x", ""}},
        {"'protocol.file.allow'='always'",
         {"a push to a repository in the folder",
          "git init -q --bare t.git && printf '#!/bin/sh\\nMARK\\n' >t.git/hooks/post-receive && "
          "chmod +x t.git/hooks/post-receive",
          "git push -q t.git HEAD:refs/heads/x", ""}},
    };
    for (const auto& [parameters, route] : cases) {
        const test::ScopedEnv set("GIT_CONFIG_PARAMETERS", parameters);
        expectClosed({route});
    }
}

// A setting of megabytes makes a line of a few hundred characters, on every run, whether its name or
// its value is long.
TEST(UntrustedRepositoryTest, ASettingOfMegabytesMakesAShortLine) {
    const std::string megabytes = "head -c 8388608 /dev/zero | tr '\\0' a";
    for (const std::string& setup :
         {"{ printf '[diff \"'; " + megabytes + "; printf '\"]\\n\\ttextconv = x\\n'; } >>.git/config",
          "{ printf '[core]\\n\\tworktree = /'; " + megabytes + "; echo; } >>.git/config"}) {
        SCOPED_TRACE(setup.substr(0, 30));
        const UntrustedRepository untrusted;
        ASSERT_TRUE(untrusted.repo.sh(setup));
        test::LogCapture log;
        untrusted.runAsGlobalProvider("touch ran");
        untrusted.runAsGlobalProvider("touch ran");
        EXPECT_FALSE(untrusted.ran());
        const auto lines = log.lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& line) {
                                    return line.starts_with("[Korvane] [GIT EXEC FAILED] cwd=" +
                                                            untrusted.repo.root());
                                }),
                  2);
        for (const auto& line : lines) {
            EXPECT_LT(line.size(), 1024u) << line.substr(0, 300);
        }
    }
}

// Variables that change which configuration or repository git reads are honoured by the reading as
// by the command: in each case no program of the repository's runs.
TEST(UntrustedRepositoryTest, VariablesThatChooseTheConfigurationChooseItForTheReadingToo) {
    struct Case {
        const char* variable;
        std::string value; // ROOT stands for the repository
        std::string named = "core.fsmonitor";
    };
    const std::vector<Case> cases = {
        {"GIT_CONFIG", "/dev/null"},
        {"GIT_CONFIG_GLOBAL", "/dev/null"},
        // A "global" file read from the folder is the folder's, whatever git calls it.
        {"GIT_CONFIG_GLOBAL", "relative", "relative sets core.editor"},
        {"GIT_CONFIG_SYSTEM", "/dev/null"},
        {"GIT_CONFIG_NOSYSTEM", "1"},
        {"GIT_CONFIG_PARAMETERS", "'alias.mine'='status'"},
        {"GIT_DIR", "ROOT/.git"},
        {"GIT_WORK_TREE", "ROOT"},
        {"GIT_COMMON_DIR", "ROOT/.git"},
        {"GIT_CEILING_DIRECTORIES", "ROOT"},
        {"GIT_DISCOVERY_ACROSS_FILESYSTEM", "1"},
    };
    for (const auto& [variable, text, named] : cases) {
        SCOPED_TRACE(variable + std::string("=") + text);
        const UntrustedRepository untrusted;
        ASSERT_TRUE(untrusted.repo.sh(untrusted.marking(
            markScript +
            "git config core.fsmonitor \"$PWD/.git/m\" && git config --file relative core.editor x")));
        std::string value = text;
        if (const auto at = value.find("ROOT"); at != std::string::npos) {
            value.replace(at, 4, untrusted.repo.root());
        }
        const test::ScopedEnv set(variable, value.c_str());
        untrusted.repo.sh("git status --short >/dev/null 2>&1");
        ASSERT_TRUE(untrusted.marked()) << "the program did not run under plain git";
        std::filesystem::remove(untrusted.marker);
        test::LogCapture log;
        untrusted.runAsGlobalProvider("git status --short >/dev/null 2>&1; touch ran");
        EXPECT_FALSE(untrusted.marked());
        EXPECT_FALSE(untrusted.ran());
        ASSERT_FALSE(log.lines().empty());
        EXPECT_THAT(log.lines().front(), HasSubstr(named));
    }
}

// Repositories as git itself makes them (init, clone with submodules, worktree add, sparse checkout),
// with git's built-in diff and merge drivers named by attributes and the user's own signing program,
// editor and pager: the user's commands there print and end exactly as under plain git.
TEST(UntrustedRepositoryTest, RepositoriesAsGitMakesThemBehaveAsUnderPlainGit) {
    const test::ScopedEnv homeVariable{"HOME", std::getenv("HOME")};
    const test::ScopedEnv noSystem{"GIT_CONFIG_NOSYSTEM", "1"};
    const test::TempDir dir;
    const test::ScopedEnv home{"HOME", (dir.path() / "home").c_str()};
    const test::ScopedEnv editor{"EDITOR", "my-editor"};
    const test::ScopedEnv pager{"PAGER", "my-pager"};
    const test::ScopedEnv date{"GIT_AUTHOR_DATE", "@1700000000 +0000"};
    const test::ScopedEnv committed{"GIT_COMMITTER_DATE", "@1700000000 +0000"};
    // The same repositories made twice, under plain/ and korvane/.
    const std::string make =
        "mkdir -p home && printf '#!/bin/sh\\necho my-gpg >&2\\nexit 1\\n' >home/my-gpg && chmod +x "
        "home/my-gpg && "
        "git config --global user.name T && git config --global user.email t@example.invalid && "
        "git config --global gpg.program \"$HOME/my-gpg\" && git config --global protocol.file.allow always "
        "&& "
        "git init -q -b main sub && echo s >sub/s.txt && git -C sub add -A && git -C sub commit -qm s && "
        // Addresses over the network, as a download's, that reach the folders here while they are made.
        "git config --global url.\"$PWD/\".insteadOf https://example.invalid/ && "
        "for side in plain korvane; do mkdir $side && (cd $side && "
        "git init -q -b main origin && cd origin && printf '*.py diff=python\\n*.md merge=union\\n' "
        ">.gitattributes && "
        "mkdir -p docs && printf 'def f():\\n    x = 1\\n    y = 2\\n' >a.py && echo a >docs/n.md && "
        "git add -A && git commit -qm base && git submodule add -q https://example.invalid/sub sub && "
        "git commit -qm sub && "
        "git checkout -q -b side && echo side >>docs/n.md && git commit -qam side && git checkout -q main && "
        "echo main >>docs/n.md && git commit -qam main && cd .. && "
        "git clone -q --recurse-submodules https://example.invalid/$side/origin clone && "
        "git -C clone worktree add -q ../wt origin/side && "
        "git clone -q https://example.invalid/$side/origin sparse && "
        "git -C sparse sparse-checkout set docs && "
        "sed -i 's/y = 2/y = 3/' clone/a.py) || exit 1; done && "
        "git config --global --remove-section url.\"$PWD/\"";
    ASSERT_TRUE(std::system(("cd '" + dir.path().string() + "' && " + make).c_str()) == 0);

    const std::vector<std::pair<std::string, std::string>> commands = {
        {"clone", "git diff"},
        {"clone", "git merge -q --no-edit origin/side && cat docs/n.md"},
        {"clone", "git var GIT_EDITOR && git var GIT_PAGER"},
        {"clone", "git -c commit.gpgSign=true commit -q --allow-empty -m signed"},
        {"clone", "git submodule status && git status --short && git log --oneline"},
        {"clone", "git -C ../wt status --short && git -C ../wt log --oneline -1"},
        {"clone/sub", "git status --short && git log --oneline -1"},
        {"sparse", "git status --short && git ls-files -t && cat docs/n.md"},
        {"origin", "git branch --list && git show --stat HEAD~1"},
    };
    ShellCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    for (const auto& [folder, command] : commands) {
        SCOPED_TRACE(command);
        const std::string line = "{ " + command + "; } 2>&1; echo \"exit $?\"";
        const auto plain = runner.run(line, (dir.path() / "plain" / folder).string(), 20,
                                      ShellCommandRunner::Folder::trusted);
        const auto untrusted = runner.run(line, (dir.path() / "korvane" / folder).string(), 20);
        EXPECT_EQ(untrusted.output, plain.output);
        EXPECT_EQ(untrusted.status, plain.status);
        EXPECT_THAT(plain.output, HasSubstr("exit "));
    }
}

// The user's own settings stay: a filter of the user's that the folder's attributes name runs, and
// settings the user hands git in its environment are kept, Korvane's coming after them.
TEST(UntrustedRepositoryTest, TheUsersOwnSettingsStayInForce) {
    const UntrustedRepository untrusted;
    const auto userMarker = untrusted.repo.path() / "user-filter-ran";
    ASSERT_TRUE(
        untrusted.repo.sh("echo '*.txt filter=mine' >.gitattributes && git add -A && git commit -qm f && "
                          "git config --global filter.mine.clean \"touch '" +
                          userMarker.string() + "'; cat\" && cp a.txt b && mv b a.txt"));
    const test::ScopedEnv count("GIT_CONFIG_COUNT", "1");
    const test::ScopedEnv key("GIT_CONFIG_KEY_0", "alias.hi");
    const test::ScopedEnv value("GIT_CONFIG_VALUE_0", "status --short");
    untrusted.runAsGlobalProvider("git hi >'" + (untrusted.repo.path() / "out").string() + "'");
    EXPECT_TRUE(std::filesystem::exists(userMarker));
    EXPECT_EQ(test::readFile(untrusted.repo.path() / "out"), "?? out\n?? user-filter-ran\n");
}

// A configuration of the folder's that git cannot list keeps the command from running, with git's own
// complaint; so does a count of settings in the environment that git would not take.
TEST(UntrustedRepositoryTest, AConfigurationThatCannotBeReadKeepsTheCommandFromRunning) {
    const UntrustedRepository untrusted;
    test::LogCapture log;
    std::ofstream(untrusted.repo.path() / ".git/config", std::ios::app) << "[broken\n";
    untrusted.runAsGlobalProvider(untrusted.marking("MARK"));
    EXPECT_FALSE(untrusted.marked());
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] [GIT EXEC FAILED] cwd=" + untrusted.repo.root() +
                                " error=bad config line 9 in file .git/config; trusting the folder "
                                "(\"Trust this folder…\" in the tray) lets it run there: shell "
                                "command '" +
                                untrusted.marking("MARK") + "' not run",
                            "[Korvane] Custom provider 'mine' not run: it waits until the folder '" +
                                untrusted.repo.root() + "' is trusted"));

    const UntrustedRepository readable;
    const test::ScopedEnv count("GIT_CONFIG_COUNT", "two");
    readable.runAsGlobalProvider(readable.marking("MARK"));
    EXPECT_FALSE(readable.marked());
}

// A configuration file of the user's that git cannot read stops git, not the commands: one that never
// calls git runs, and the folder's own configuration is still judged without the user's.
TEST(UntrustedRepositoryTest, ABrokenFileOfTheUsersStopsNoCommand) {
    const UntrustedRepository untrusted;
    test::LogCapture log;
    std::ofstream(std::filesystem::path(std::getenv("HOME")) / ".gitconfig") << "[broken\n";
    ASSERT_FALSE(untrusted.repo.sh("git status >/dev/null 2>&1")) << "git read the broken file";
    untrusted.runAsGlobalProvider("touch ran; GIT_CONFIG_GLOBAL=/dev/null git status --short");
    EXPECT_TRUE(untrusted.ran());

    const UntrustedRepository naming;
    ASSERT_TRUE(naming.repo.sh(naming.marking(markScript + "git config core.fsmonitor \"$PWD/.git/m\"")));
    std::ofstream(std::filesystem::path(std::getenv("HOME")) / ".gitconfig") << "[broken\n";
    naming.runAsGlobalProvider("touch ran; GIT_CONFIG_GLOBAL=/dev/null git status --short");
    EXPECT_FALSE(naming.ran());
    EXPECT_FALSE(naming.marked());
}

// Outside any repository the command runs, whatever language git speaks: the reading goes by git's exit
// statuses and listings, not its words.
TEST(UntrustedRepositoryTest, ACommandOutsideAnyRepositoryRunsInAnyLanguage) {
    if (!std::filesystem::exists("/usr/share/locale/de/LC_MESSAGES/git.mo")) {
        GTEST_SKIP() << "git's German messages are not installed";
    }
    const test::ScopedEnv language("LANGUAGE", "de");
    const test::ScopedEnv locale("LANG", "C.UTF-8");
    const test::ScopedEnv all("LC_ALL", nullptr);
    const UntrustedRepository outside;
    std::filesystem::remove_all(outside.repo.path() / ".git");
    const test::ScopedEnv ceiling("GIT_CEILING_DIRECTORIES", outside.repo.path().parent_path().c_str());
    ASSERT_TRUE(outside.repo.sh("git status 2>&1 | grep -q Schwerwiegend")) << "git does not speak German here";
    test::LogCapture log;
    outside.runAsGlobalProvider("touch ran");
    EXPECT_TRUE(outside.ran());
    EXPECT_THAT(log.lines(), testing::IsEmpty());
}

// The reading is made by the git that the command's shell finds; with no git at all the command runs
// as it is.
TEST(UntrustedRepositoryTest, TheGitOfTheCommandsSearchPathReadsTheConfiguration) {
    const UntrustedRepository untrusted;
    const test::TempDir bin;
    const auto log = bin.path() / "calls";
    bin.write("git", "#!/bin/sh\necho \"$*\" >>'" + log.string() + "'\nexec /usr/bin/git \"$@\"\n");
    std::filesystem::permissions(bin.path() / "git", std::filesystem::perms::owner_all);
    {
        const test::ScopedEnv path("PATH", bin.path().c_str());
        untrusted.runAsGlobalProvider(": >ran");
    }
    EXPECT_TRUE(untrusted.ran());
    EXPECT_THAT(test::readFile(log), HasSubstr("config --list"));

    const UntrustedRepository withoutGit;
    const test::TempDir empty;
    const test::ScopedEnv path("PATH", empty.path().c_str());
    test::LogCapture lines;
    withoutGit.runAsGlobalProvider(": >ran");
    EXPECT_TRUE(withoutGit.ran());
    EXPECT_TRUE(lines.lines().empty());

    // A root that does not exist fails the launch as in a trusted folder.
    ShellCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    EXPECT_EQ(runner.run("echo hi", (untrusted.repo.path() / "gone").string(), 5), (RunResult{-1, ""}));
    EXPECT_THAT(lines.lines(),
                ElementsAre("[Korvane] Shell command failed for 'echo hi': No such file or directory"));
}

} // namespace
} // namespace korvane
