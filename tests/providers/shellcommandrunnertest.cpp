#include "providers/shellcommandrunner.h"

#include "files/gitrepo.h"
#include "platform/fake/fakeprocessrunner.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/customprovider.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

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
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Shell command failed for 'echo hi': No such file or directory"));
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
    ShellCommandRunner runner(processes);
    processes->hold();
    std::thread command([&] { runner.runLive("x", root.path().string(), "q", "b", "n", false, 10); });
    ASSERT_TRUE(processes->waitUntilHeld(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    processes->releaseAll();
    command.join();
    const auto requests = processes->requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_THAT(requests[0].arguments, testing::Contains("--list"));
    EXPECT_LT(requests[1].timeout, 9.75);
}

// The user's own command from the global configuration, started in a downloaded repository the user
// has not trusted, as a global custom provider starts it: git under it runs none of the programs the
// repository names, while the user's own settings stay in force.
class UntrustedRepository {
public:
    UntrustedRepository() {
        repo.write("a.txt", "one\n");
        repo.sh("git add -A && git commit -qm one");
    }

    // Runs `command` in the repository as the global provider "mine" would.
    void runAsGlobalProvider(const std::string& command, CommandTrust trust = {}) const {
        CustomProviderConfig config;
        config.id = "mine";
        config.label = "Mine";
        config.command = command;
        CustomProvider(config, std::make_shared<ShellCommandRunner>(std::make_shared<LinuxProcessRunner>()),
                       std::move(trust))
            .snippets(repo.root());
    }
    // `text` with MARK standing for a command that leaves the marker, MARKPATH for its path.
    std::string marking(std::string text) const {
        for (auto at = text.find("MARKPATH"); at != std::string::npos; at = text.find("MARKPATH")) {
            text.replace(at, 8, marker.string());
        }
        for (auto at = text.find("MARK"); at != std::string::npos; at = text.find("MARK")) {
            text.replace(at, 4, "touch '" + marker.string() + "'");
        }
        return text;
    }
    bool marked() const { return std::filesystem::exists(marker); }

    // The repository points HOME at a folder of its own; the other tests keep theirs.
    const test::ScopedEnv home{"HOME", std::getenv("HOME")};
    const test::ScopedEnv noSystem{"GIT_CONFIG_NOSYSTEM", std::getenv("GIT_CONFIG_NOSYSTEM")};
    test::GitRepo repo;
    const std::filesystem::path marker = repo.path() / "marker";
};

TEST(UntrustedRepositoryTest, NoProgramTheRepositoryNamesRuns) {
    struct Case {
        std::string name;
        std::string setup; // run in the repository; MARK leaves the marker
        std::string command;
    };
    const std::vector<Case> cases = {
        {"core.fsmonitor",
         "printf '#!/bin/sh\\nMARK\\nexit 1\\n' >.git/m && chmod +x .git/m && "
         "git config core.fsmonitor \"$PWD/.git/m\"",
         "git status --short"},
        {"clean filter",
         "echo '*.txt filter=evil' >.gitattributes && git add -A && git commit -qm f && "
         "git config filter.evil.clean 'MARK; cat' && cp a.txt b && mv b a.txt",
         "git status --short"},
        {"core.hooksPath",
         "mkdir -p .git/h && printf '#!/bin/sh\\nMARK\\n' >.git/h/pre-commit && "
         "chmod +x .git/h/pre-commit && git config core.hooksPath .git/h",
         "git commit -q --allow-empty -m x"},
        {".git/hooks",
         "printf '#!/bin/sh\\nMARK\\n' >.git/hooks/pre-commit && chmod +x .git/hooks/pre-commit",
         "git commit -q --allow-empty -m x"},
        {"textconv",
         "echo '*.txt diff=evil' >.gitattributes && git add -A && git commit -qm f && "
         "git config diff.evil.textconv 'MARK; cat' && echo two >>a.txt",
         "git diff"},
        {"diff.external", "git config diff.external 'MARK; true' && echo two >>a.txt", "git diff"},
        {"alias", "git config --global alias.st status && git config alias.st '!MARK'", "git st"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const UntrustedRepository untrusted;
        ASSERT_TRUE(untrusted.repo.sh(untrusted.marking(c.setup))) << c.setup;
        untrusted.repo.sh(c.command + " >/dev/null 2>&1");
        ASSERT_TRUE(untrusted.marked()) << "the program did not run under plain git";
        std::filesystem::remove(untrusted.marker);
        untrusted.runAsGlobalProvider(c.command + " >/dev/null 2>&1; touch ran");
        EXPECT_FALSE(untrusted.marked());
        EXPECT_TRUE(std::filesystem::exists(untrusted.repo.path() / "ran"));
    }
    // In a project the user trusted, git is left as it is.
    const UntrustedRepository trusted;
    ASSERT_TRUE(trusted.repo.sh(trusted.marking("git config alias.st '!MARK'")));
    trusted.runAsGlobalProvider("git st", CommandTrust{.trustsFolder = [&](const std::string& folder) {
                                    return folder == trusted.repo.root();
                                }});
    EXPECT_TRUE(trusted.marked());
}

// A way for a folder to make git run a program: shown to run the marker under plain git, then run by
// the user's command without it running.
struct Route {
    std::string name;
    std::string setup; // run in the repository; MARK leaves the marker
    std::string command;
};

// Each route is set up twice, so that what the first run leaves behind cannot close the second.
void expectClosed(const std::vector<Route>& routes) {
    for (const auto& route : routes) {
        SCOPED_TRACE(route.name);
        const UntrustedRepository plain;
        ASSERT_TRUE(plain.repo.sh(plain.marking(route.setup))) << route.setup;
        plain.repo.sh("{ " + route.command + "; } >/dev/null 2>&1 </dev/null");
        ASSERT_TRUE(plain.marked()) << "the program did not run under plain git";
        const UntrustedRepository untrusted;
        ASSERT_TRUE(untrusted.repo.sh(untrusted.marking(route.setup))) << route.setup;
        untrusted.runAsGlobalProvider("{ " + route.command + "; } >/dev/null 2>&1; touch ran");
        EXPECT_FALSE(untrusted.marked());
        EXPECT_TRUE(std::filesystem::exists(untrusted.repo.path() / "ran"));
    }
}

// A program of the repository's own, "MARK" run from a script .git/m that exits 1.
const std::string markScript = "printf '#!/bin/sh\\nMARK\\nexit 1\\n' >.git/m && chmod +x .git/m && ";
// A submodule "sub" with a file s.txt, cloned from a repository kept in .git/src, whose checked-out
// commit is older than the one the top repository records.
const std::string withSubmodule =
    "git config --global user.name T && git config --global user.email t@example.invalid && "
    "git init -q .git/src && echo s >.git/src/s.txt && git -C .git/src add -A && "
    "git -C .git/src commit -qm s && echo t >>.git/src/s.txt && git -C .git/src commit -qam t && "
    "git -c protocol.file.allow=always submodule add -q \"$PWD/.git/src\" sub && git commit -qm sub && "
    "git -C sub checkout -q HEAD~1 && ";

TEST(UntrustedRepositoryTest, NoProgramOfASubmoduleOrOfAnIncludeWhoseConditionComesTrueLaterRuns) {
    expectClosed({
        {"a submodule's core.fsmonitor on status",
         markScript + withSubmodule + "git -C sub config core.fsmonitor \"$PWD/.git/m\"",
         "git status --short"},
        {"a submodule's core.fsmonitor on diff",
         markScript + withSubmodule + "git -C sub config core.fsmonitor \"$PWD/.git/m\"", "git diff"},
        {"a submodule's clean filter",
         withSubmodule + "git -C sub config filter.evil.clean 'MARK; cat' && echo '*.txt filter=evil' "
                         ">sub/.gitattributes && cp sub/s.txt b && mv b sub/s.txt",
         "git status --short"},
        {"a gitlink whose folder holds its own repository",
         markScript + "git init -q inner && echo s >inner/s.txt && git -C inner add -A && "
                      "git -C inner -c user.name=T -c user.email=t@example.invalid commit -qm s && "
                      "git add inner 2>/dev/null && git commit -qm inner && "
                      "git -C inner config core.fsmonitor \"$PWD/.git/m\"",
         "git status --short"},
        {"a nested submodule's core.fsmonitor",
         markScript +
             "git config --global user.name T && git config --global user.email t@example.invalid && "
             "git init -q .git/inner && echo i >.git/inner/i.txt && git -C .git/inner add -A && "
             "git -C .git/inner commit -qm i && git init -q .git/mid && echo m >.git/mid/m.txt && "
             "git -C .git/mid add -A && git -C .git/mid commit -qm m && "
             "git -C .git/mid -c protocol.file.allow=always submodule add -q \"$PWD/.git/inner\" inner && "
             "git -C .git/mid commit -qm inner && "
             "git -c protocol.file.allow=always submodule add -q \"$PWD/.git/mid\" sub && "
             "git -c protocol.file.allow=always submodule update -q --init --recursive && git commit -qm sub "
             "&& "
             "git -C sub/inner config core.fsmonitor \"$PWD/.git/m\"",
         "git status --short"},
        {"a git directory two gitlinks share, the second work tree holding a repository",
         "git init -q n && mkdir n/d && echo s >n/d/s.txt && echo '*.txt filter=evil' >n/d/.gitattributes && "
         "git -C n add -A && git -C n -c user.name=T -c user.email=t@example.invalid commit -qm s && "
         "git init -q x && mv n x/n && git -C x add n 2>/dev/null && "
         "git -C x -c user.name=T -c user.email=t@example.invalid commit -qm n && mv x/.git g && "
         "printf 'gitdir: ../g\\n' >x/.git && mkdir y && printf 'gitdir: ../g\\n' >y/.git && mv x/n y/n && "
         "git add x y 2>/dev/null && git commit -qm xy && git -C y/n config filter.evil.clean 'MARK; cat' && "
         "cp y/n/d/s.txt b && mv b y/n/d/s.txt",
         "git status --short"},
        {"includeIf onbranch",
         "git branch other && git config --file .git/extra trailer.sign.key 'Signed: ' && "
         "git config --file .git/extra trailer.sign.command \"MARK; echo x\" && "
         "git config includeIf.onbranch:other.path extra",
         "git checkout -q other && git commit -q --allow-empty -m x --trailer sign=a"},
    });
}

// A git directory whose name holds a line break is read by the name git reads: whole, from a
// `.git` file, and as git prints it.
TEST(UntrustedRepositoryTest, NoProgramOfARepositoryWhoseGitDirectoryNameHoldsALineBreakRuns) {
    // A gitlink "inner" holding a repository whose clean filter a `.gitattributes` below its top
    // names, with a file whose content git must look at again.
    const std::string inner = "git init -q inner && mkdir inner/d && echo s >inner/d/s.txt && "
                              "echo '*.txt filter=evil' >inner/d/.gitattributes && git -C inner add -A && "
                              "git -C inner -c user.name=T -c user.email=t@example.invalid commit -qm s && "
                              "git add inner 2>/dev/null && git commit -qm inner && "
                              "git -C inner config filter.evil.clean 'MARK; cat' && "
                              "cp inner/d/s.txt b && mv b inner/d/s.txt && ";
    expectClosed({
        {"the repository's own",
         inner + "mv .git \"$(printf 'top\\nx')\" && printf 'gitdir: top\\nx\\n' >.git",
         "git status --short"},
        {"a gitlink's",
         inner + "mv inner/.git \"$(printf 'in\\nx')\" && printf 'gitdir: ../in\\nx\\n' >inner/.git",
         "git status --short"},
    });
}

TEST(UntrustedRepositoryTest, NoProgramSettingOfTheRepositoryRunsWhateverTheCommand) {
    expectClosed({
        {"gpg.ssh.defaultKeyCommand",
         markScript + "git config gpg.format ssh && git config gpg.ssh.defaultKeyCommand \"$PWD/.git/m\" && "
                      "git config commit.gpgSign true",
         "git commit -q --allow-empty -m s"},
        {"core.editor", "git config core.editor \"MARK; true\"", "git commit --allow-empty"},
        {"sequence.editor", "git config sequence.editor \"MARK; true\"", "git rebase -i HEAD"},
        {"credential.helper", "git config credential.helper \"!MARK; true\"",
         "printf 'protocol=https\\nhost=h\\n\\n' | GIT_TERMINAL_PROMPT=0 git credential fill"},
        {"credential.<url>.helper", "git config credential.https://h.helper \"!MARK; true\"",
         "printf 'protocol=https\\nhost=h\\n\\n' | GIT_TERMINAL_PROMPT=0 git credential fill"},
        {"core.gitProxy",
         markScript + "git remote add g git://127.0.0.1:9/x && git config core.gitProxy \"$PWD/.git/m\"",
         "git ls-remote g"},
        {"remote.<name>.uploadpack",
         "git remote add up \"$PWD\" && git config remote.up.uploadpack \"MARK; git-upload-pack\"",
         "git fetch up"},
        {"ext remote on ls-remote",
         "git config protocol.ext.allow always && git remote add ex 'ext::sh -c touch% MARKPATH'",
         "git ls-remote ex"},
        {"ext remote on fetch",
         "git config protocol.allow always && git remote add ex 'ext::sh -c touch% MARKPATH'",
         "git fetch ex"},
        {"trailer.<token>.command",
         "git config trailer.sign.key 'Signed: ' && git config trailer.sign.command \"MARK; echo x\"",
         "git commit -q --allow-empty -m x --trailer sign=a"},
        {"core.alternateRefsCommand",
         "git config --global user.name T && git config --global user.email t@example.invalid && "
         "git init -q --bare .git/alt.git && echo \"$PWD/.git/alt.git/objects\" "
         ">.git/objects/info/alternates && "
         "git init -q .git/src && git remote add s \"$PWD/.git/src\" && "
         "git config core.alternateRefsCommand \"MARK; true\"",
         "git -C .git/src commit -q --allow-empty -m n && git fetch -q s"},
        {"submodule.<name>.update", withSubmodule + "git config submodule.sub.update \"!MARK\"",
         "git submodule update"},
        {"difftool.<tool>.cmd",
         "git config diff.tool evil && git config difftool.evil.cmd \"MARK\" && echo two >>a.txt",
         "git difftool -y"},
        {"browser.<tool>.cmd", "git config web.browser evil && git config browser.evil.cmd \"MARK\"",
         "git web--browse http://h.invalid/"},
        {"tar.<format>.command of git's own format", "git config tar.tgz.command 'MARK; gzip -cn'",
         "git archive --format=tgz HEAD"},
        {"tar.<format>.command of the repository's format", "git config tar.evil.command 'MARK; cat'",
         "git archive -o a.evil HEAD"},
    });
    // git's own gzip still makes the archive.
    const UntrustedRepository untrusted;
    ASSERT_TRUE(untrusted.repo.sh(untrusted.marking("git config tar.tar.gz.command 'MARK; gzip -cn'")));
    untrusted.runAsGlobalProvider("git archive -o a.tar.gz HEAD && gzip -t a.tar.gz && touch ok");
    EXPECT_FALSE(untrusted.marked());
    EXPECT_TRUE(std::filesystem::exists(untrusted.repo.path() / "ok"));
}

// A folder that names a program through every route git offers, and the verbs a command of the user's
// is likely to run there: each of them runs one under plain git, none under the user's command.
TEST(UntrustedRepositoryTest, NoVerbRunsAProgramOfAFolderThatNamesThemAll) {
    const std::string namesEveryProgram =
        markScript + withSubmodule +
        "git config core.fsmonitor \"$PWD/.git/m\" && git -C sub config core.fsmonitor \"$PWD/.git/m\" && "
        "echo '* filter=evil diff=evil merge=evil' >.gitattributes && git add .gitattributes && "
        "git commit -qm attributes && git config filter.evil.clean 'MARK; cat' && "
        "git config filter.evil.smudge 'MARK; cat' && git config diff.evil.textconv 'MARK; cat' && "
        "git config merge.evil.driver 'MARK; false' && git config diff.external 'MARK; true' && "
        "git config core.editor 'MARK; true' && git config log.showSignature true && "
        "git config gpg.program \"$PWD/.git/m\" && "
        "for h in pre-commit post-commit post-checkout reference-transaction; do "
        "printf '#!/bin/sh\\nMARK\\n' >.git/hooks/$h && chmod +x .git/hooks/$h; done && "
        "git config protocol.allow always && git remote add ex 'ext::sh -c touch% MARKPATH' && "
        "git remote add up \"$PWD\" && git config remote.up.uploadpack 'MARK; git-upload-pack' && "
        "git config submodule.sub.update '!MARK' && git branch other && "
        // A commit that carries a signature, which log and show check with gpg.program.
        "printf 'tree %s\\nparent %s\\nauthor T <t@e> 1 +0000\\ncommitter T <t@e> 1 +0000\\n"
        "gpgsig -----BEGIN PGP SIGNATURE-----\\n \\n x\\n -----END PGP SIGNATURE-----\\n\\nsigned\\n' "
        "$(git write-tree) $(git rev-parse HEAD) | git hash-object -t commit -w --stdin | "
        "xargs git update-ref refs/heads/signed && rm -f MARKPATH";
    std::vector<Route> routes;
    for (const char* verb : {"git status --short", "git diff", "git log -1 signed", "git show signed",
                             "git branch new", "git ls-files -m", "git ls-remote ex", "git fetch up",
                             "git commit --allow-empty", "git checkout -q other", "git submodule update"}) {
        routes.push_back({verb, namesEveryProgram, verb});
    }
    expectClosed(routes);
}

// A relative hooks folder of the user's own is read from the folder the command runs in, which the
// download fills; an absolute one stays the user's.
TEST(UntrustedRepositoryTest, ARelativeHooksFolderOfTheUsersOwnRunsNoHookOfTheFolders) {
    expectClosed({{"a relative core.hooksPath",
                   "git config --global core.hooksPath .githooks && mkdir .githooks && "
                   "printf '#!/bin/sh\\nMARK\\n' >.githooks/pre-commit && chmod +x .githooks/pre-commit",
                   "git commit -q --allow-empty -m x"}});
    const UntrustedRepository untrusted;
    const auto hooks = untrusted.repo.path() / ".git/own-hooks";
    ASSERT_TRUE(untrusted.repo.sh(
        untrusted.marking("mkdir .git/own-hooks && printf '#!/bin/sh\\nMARK\\n' "
                          ">.git/own-hooks/pre-commit && chmod +x .git/own-hooks/pre-commit && "
                          "git config --global core.hooksPath \"$PWD/.git/own-hooks\"")));
    untrusted.runAsGlobalProvider("git commit -q --allow-empty -m x");
    EXPECT_TRUE(untrusted.marked());
}

// Variables that change which configuration or repository git reads are either left out of both the
// reading and the command, or honoured by both: in each case no program of the repository's runs.
TEST(UntrustedRepositoryTest, VariablesThatChooseTheConfigurationChooseItForTheReadingToo) {
    struct Case {
        const char* variable;
        std::string value; // ROOT stands for the repository
    };
    const std::vector<Case> cases = {
        {"GIT_CONFIG", "/dev/null"},
        {"GIT_CONFIG_GLOBAL", "/dev/null"},
        {"GIT_CONFIG_SYSTEM", "/dev/null"},
        {"GIT_CONFIG_NOSYSTEM", "1"},
        {"GIT_CONFIG_PARAMETERS", "'alias.mine'='status'"},
        {"GIT_DIR", "ROOT/.git"},
        {"GIT_WORK_TREE", "ROOT"},
        {"GIT_COMMON_DIR", "ROOT/.git"},
        {"GIT_CEILING_DIRECTORIES", "ROOT"},
        {"GIT_DISCOVERY_ACROSS_FILESYSTEM", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable);
        const UntrustedRepository untrusted;
        ASSERT_TRUE(
            untrusted.repo.sh(untrusted.marking(markScript + "git config core.fsmonitor \"$PWD/.git/m\"")));
        std::string value = c.value;
        if (const auto at = value.find("ROOT"); at != std::string::npos) {
            value.replace(at, 4, untrusted.repo.root());
        }
        const test::ScopedEnv variable(c.variable, value.c_str());
        untrusted.repo.sh("git status --short >/dev/null 2>&1");
        ASSERT_TRUE(untrusted.marked()) << "the program did not run under plain git";
        std::filesystem::remove(untrusted.marker);
        untrusted.runAsGlobalProvider("git status --short >/dev/null 2>&1; touch ran");
        EXPECT_FALSE(untrusted.marked());
        EXPECT_TRUE(std::filesystem::exists(untrusted.repo.path() / "ran"));
    }
}

TEST(UntrustedRepositoryTest, TheUsersOwnSettingsStayInForce) {
    const UntrustedRepository untrusted;
    const auto userMarker = untrusted.repo.path() / "user-filter-ran";
    ASSERT_TRUE(untrusted.repo.sh(
        "echo '*.txt filter=evil' >.gitattributes && git add -A && git commit -qm f && "
        "git config --global filter.evil.clean \"touch '" +
        userMarker.string() + "'; cat\" && " + untrusted.marking("git config filter.evil.clean 'MARK; cat'") +
        " && cp a.txt b && mv b a.txt"));
    // Settings the user hands git in its environment are kept; Korvane's come after them.
    const test::ScopedEnv count("GIT_CONFIG_COUNT", "1");
    const test::ScopedEnv key("GIT_CONFIG_KEY_0", "alias.hi");
    const test::ScopedEnv value("GIT_CONFIG_VALUE_0", "status --short");
    untrusted.runAsGlobalProvider("git hi >'" + (untrusted.repo.path() / "out").string() + "'");
    EXPECT_TRUE(std::filesystem::exists(userMarker));
    EXPECT_FALSE(untrusted.marked());
    EXPECT_EQ(test::readFile(untrusted.repo.path() / "out"), "?? out\n?? user-filter-ran\n");
}

TEST(UntrustedRepositoryTest, AConfigurationThatCannotBeReadKeepsTheCommandFromRunning) {
    const UntrustedRepository untrusted;
    test::LogCapture log;
    std::ofstream(untrusted.repo.path() / ".git/config", std::ios::app) << "[broken\n";
    untrusted.runAsGlobalProvider(untrusted.marking("MARK"));
    EXPECT_FALSE(untrusted.marked());
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] [GIT EXEC FAILED] cwd=" + untrusted.repo.root() +
                                             " error=bad config line 9 in file .git/config: shell command '" +
                                             untrusted.marking("MARK") + "' not run",
                                         "[Korvane] Custom provider 'mine' exited with status -1"));

    const UntrustedRepository readable;
    const test::ScopedEnv count("GIT_CONFIG_COUNT", "two");
    readable.runAsGlobalProvider(readable.marking("MARK"));
    EXPECT_FALSE(readable.marked());
}

// A configuration file of the user's that git cannot read stops git, not the commands: one that
// never calls git runs, and one that makes git skip that file still runs nothing of the repository's.
TEST(UntrustedRepositoryTest, ABrokenFileOfTheUsersStopsNoCommand) {
    const UntrustedRepository untrusted;
    ASSERT_TRUE(
        untrusted.repo.sh(untrusted.marking(markScript + "git config core.fsmonitor \"$PWD/.git/m\"")));
    std::ofstream(std::filesystem::path(std::getenv("HOME")) / ".gitconfig") << "[broken\n";
    ASSERT_FALSE(untrusted.repo.sh("git status >/dev/null 2>&1")) << "git read the broken file";
    untrusted.runAsGlobalProvider("touch ran; GIT_CONFIG_GLOBAL=/dev/null git status --short");
    EXPECT_TRUE(std::filesystem::exists(untrusted.repo.path() / "ran"));
    EXPECT_FALSE(untrusted.marked());
}

// The listing is made by the git that the command's shell finds; with no git at all the command
// runs as it is.
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
    EXPECT_TRUE(std::filesystem::exists(untrusted.repo.path() / "ran"));
    EXPECT_THAT(test::readFile(log), HasSubstr("config --list"));

    const UntrustedRepository withoutGit;
    const test::TempDir empty;
    const test::ScopedEnv path("PATH", empty.path().c_str());
    test::LogCapture lines;
    withoutGit.runAsGlobalProvider(": >ran");
    EXPECT_TRUE(std::filesystem::exists(withoutGit.repo.path() / "ran"));
    EXPECT_TRUE(lines.lines().empty());
}

// Only a configuration of the folder's that cannot be read stops the command, and the line names it;
// a root that does not exist fails the launch as in a trusted folder.
TEST(UntrustedRepositoryTest, AnUnreadableIncludeOfTheFoldersIsNamed) {
    const UntrustedRepository untrusted;
    test::LogCapture log;
    ASSERT_TRUE(
        untrusted.repo.sh("git config includeIf.onbranch:other.path bad && echo '[broken' >.git/bad"));
    untrusted.runAsGlobalProvider(untrusted.marking("MARK"));
    EXPECT_FALSE(untrusted.marked());
    ASSERT_FALSE(log.lines().empty());
    EXPECT_THAT(log.lines().front(), HasSubstr("[GIT EXEC FAILED] cwd=" + untrusted.repo.root()));
    EXPECT_THAT(log.lines().front(), HasSubstr((untrusted.repo.path() / ".git/bad").string()));

    log.clear();
    ShellCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    EXPECT_EQ(runner.run("echo hi", (untrusted.repo.path() / "gone").string(), 5), (RunResult{-1, ""}));
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Shell command failed for 'echo hi': No such file or directory"));
}

// A configuration that includes a file of the work tree gets whatever a checkout puts there after it
// was read: here another branch brings a filter that runs under plain git. Such a folder runs no
// command until the user trusts it, and the line names the file; an include inside .git is read.
TEST(UntrustedRepositoryTest, AnIncludeFromTheWorkTreeKeepsTheCommandFromRunning) {
    const std::string setup =
        "git checkout -q -b other && printf '[filter \"evil\"]\\n\\tclean = MARK; cat\\n' >evil.inc && "
        "echo '*.txt filter=evil' >.gitattributes && git add -A && git commit -qm evil && "
        "git checkout -q - && git config include.path ../evil.inc && rm -f MARKPATH";
    const std::string command = "git checkout -q other && echo two >>a.txt && git diff";
    const UntrustedRepository plain;
    ASSERT_TRUE(plain.repo.sh(plain.marking(setup)));
    plain.repo.sh(command + " >/dev/null 2>&1");
    ASSERT_TRUE(plain.marked()) << "the filter did not run under plain git";

    const UntrustedRepository untrusted;
    ASSERT_TRUE(untrusted.repo.sh(untrusted.marking(setup)));
    test::LogCapture log;
    untrusted.runAsGlobalProvider(command + " >/dev/null 2>&1; touch ran");
    EXPECT_FALSE(untrusted.marked());
    EXPECT_FALSE(std::filesystem::exists(untrusted.repo.path() / "ran"));
    ASSERT_FALSE(log.lines().empty());
    EXPECT_THAT(log.lines().front(), HasSubstr("[GIT EXEC FAILED]"));
    EXPECT_THAT(log.lines().front(), HasSubstr((untrusted.repo.path() / "evil.inc").string()));

    const UntrustedRepository inside;
    ASSERT_TRUE(inside.repo.sh("git config --file .git/extra core.quotePath true && "
                               "git config include.path extra"));
    inside.runAsGlobalProvider("touch ran");
    EXPECT_TRUE(std::filesystem::exists(inside.repo.path() / "ran"));
}

} // namespace
} // namespace korvane
