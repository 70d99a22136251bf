#include "files/gitcommandrunner.h"

#include "gitrepo.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/countingprocessrunner.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace korvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Lines = std::vector<std::string>;

// A stand-in for git: a shell script in a temporary folder that does what a test needs.
class FakeGit {
public:
    explicit FakeGit(const std::string& body) {
        // The configuration listing that precedes every run finds nothing, and the folder is the work
        // tree of its own repository.
        path_ =
            dir_.write("git", "#!/bin/sh\ncase \" $* \" in *' config --list '*) exit 0;;\n"
                              "*' rev-parse --show-toplevel --absolute-git-dir ') printf '%s\\n%s/.git\\n' "
                              "\"$PWD\" \"$PWD\"; exit 0;; esac\n" +
                                  body + "\n");
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    }
    GitCommandRunner runner() const {
        return GitCommandRunner(std::make_shared<LinuxProcessRunner>(), GitCommandRunner::Mode::logged,
                                path_.string());
    }
    std::string directory() const { return dir_.path().string(); }

private:
    test::TempDir dir_;
    std::filesystem::path path_;
};

std::string errorLines(const test::LogCapture& log) {
    std::string text;
    for (const auto& line : log.performanceLines()) {
        if (line.category == "GitCommandRunner") {
            text += line.message + "\n";
        }
    }
    return text;
}

TEST(GitCommandRunnerTest, EveryCommandLineTurnsOffTheMonitorAndStatusTakesNoOptionalLocks) {
    EXPECT_THAT(GitCommandRunner::commandLine({"ls-files", "--cached"}),
                ElementsAre("-c", "core.fsmonitor=false", "-c", "core.quotePath=true", "-c",
                            "log.showSignature=false", "ls-files", "--cached"));
    EXPECT_THAT(GitCommandRunner::commandLine({"status", "--porcelain"}),
                ElementsAre("-c", "core.fsmonitor=false", "-c", "core.quotePath=true", "-c",
                            "log.showSignature=false", "--no-optional-locks", "status",
                            "--ignore-submodules=all", "--porcelain"));
}

TEST(GitCommandRunnerTest, OutputLinesAndFailuresAsEachRunEnds) {
    struct Case {
        std::string script;
        std::optional<Lines> expected;
        std::string logged;
    };
    const std::string longError(300, 'e');
    const std::vector<Case> cases = {
        {"exit 0", Lines{}, ""},
        {"printf 'a\\n\\nb\\r\\n'", Lines{"a", "b\r"}, ""},
        {"printf 'x\\n'; echo " + longError + " >&2; exit 3", std::nullopt,
         "[GIT EXIT ERROR] cwd=%s status=3 stderr=" + std::string(200, 'e') + " elapsed="},
        {"printf 'ok\\n\\377\\n'", std::nullopt, "[GIT DECODE ERROR] cwd=%s elapsed="},
        {"echo \"$GIT_DIR|$GIT_WORK_TREE|$GIT_INDEX_FILE|$GIT_TERMINAL_PROMPT\"", Lines{"|||0"}, ""},
    };
    setenv("GIT_DIR", "/elsewhere/.git", 1);
    setenv("GIT_INDEX_FILE", "/elsewhere/index", 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        FakeGit git(c.script);
        test::LogCapture log;
        EXPECT_EQ(git.runner().run({"ls-files"}, git.directory(), 5.0), c.expected);
        std::string logged = c.logged;
        if (const auto at = logged.find("%s"); at != std::string::npos) {
            logged.replace(at, 2, std::filesystem::path(git.directory()).filename().string());
        }
        if (logged.empty()) {
            EXPECT_EQ(errorLines(log), "");
        } else {
            EXPECT_THAT(errorLines(log), HasSubstr(logged));
        }
    }
    unsetenv("GIT_DIR");
    unsetenv("GIT_INDEX_FILE");
}

TEST(GitCommandRunnerTest, MissingDirectoryFailsTheLaunchAndRootIsUnknown) {
    FakeGit git("exit 0");
    test::LogCapture log;
    EXPECT_EQ(git.runner().run({"ls-files"}, "/no/such/dir/proj/", 1.0), std::nullopt);
    EXPECT_THAT(errorLines(log), HasSubstr("[GIT EXEC FAILED] cwd=proj error="));
    log.clear();
    EXPECT_EQ(git.runner().run({"ls-files"}, "/", 1.0), Lines{});
}

TEST(GitCommandRunnerTest, HungGitReturnsNothingAtItsDeadline) {
    FakeGit git("printf 'a\\nb\\n'; trap '' TERM; exec sleep 30");
    test::LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(git.runner().run({"ls-files"}, git.directory(), 0.3), std::nullopt);
    // The call is bounded by the limit plus the grace period, never by the child.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_THAT(errorLines(log), HasSubstr("[GIT TIMEOUT] cwd="));
    EXPECT_THAT(errorLines(log), HasSubstr("timeout=300ms isRunning="));
    EXPECT_THAT(errorLines(log), HasSubstr(" partialLines=2 stderr="));
}

// Whether a failure comes again: a folder outside every repository, a work tree that is not the
// folder's own and a missing git answer the same until something changes; a git out of time or one
// that failed for a reason of its own (here a broken index) may do better next time.
// Told from git's exit statuses and its machine output, never from its words: the same in a German git.
TEST(GitCommandRunnerTest, EachFailureSaysWhetherItWillComeAgain) {
    struct Case {
        std::string name;
        std::string setup; // run in an empty folder; git runs in its "proj"
        std::string executable;
        double timeout;
        std::optional<GitFailure> failure; // none: git lists
    };
    const std::string git = GitCommandRunner::defaultExecutable;
    const std::vector<Case> cases = {
        {"a folder no repository holds", "mkdir proj", git, 5.0, GitFailure::noRepository},
        {"a repository whose folder lives elsewhere", "git init -q --separate-git-dir=\"$PWD/store\" proj",
         git, 5.0, GitFailure::workTreeRefused},
        {"a .git naming another repository",
         "git init -q other && mkdir proj && echo \"gitdir: $PWD/other/.git\" >proj/.git", git, 5.0,
         GitFailure::workTreeRefused},
        {"no git", "git init -q proj", "/nonexistent/git", 5.0, GitFailure::gitMissing},
        {"a broken index", "git init -q proj && echo broken >proj/.git/index", git, 5.0, GitFailure::failed},
        {"no time", "git init -q proj", git, 0.0, GitFailure::timedOut},
        {"a repository of its own", "git init -q proj && touch proj/a", git, 5.0, std::nullopt},
    };
    std::vector<Case> table = cases;
    if (::geteuid() == 0) {
        // A refusal the user can mend with safe.directory: asked again.
        table.push_back({"a repository another user owns", "git init -q proj && chown -R nobody proj", git,
                         5.0, GitFailure::failed});
    }
    const bool german = std::filesystem::exists("/usr/share/locale/de/LC_MESSAGES/git.mo");
    for (const char* language : {"", "de"}) {
        if (*language != '\0' && !german) {
            continue;
        }
        const test::ScopedEnv languageVariable("LANGUAGE", language);
        const test::ScopedEnv locale("LANG", "C.UTF-8");
        const test::ScopedEnv all("LC_ALL", nullptr);
        for (const auto& c : table) {
            SCOPED_TRACE(c.name + " " + language);
            const test::GitRepo settings; // a private HOME
            const test::TempDir place;
            ASSERT_EQ(std::system(("cd '" + place.path().string() + "' && " + c.setup).c_str()), 0);
            const GitCommandRunner runner(std::make_shared<LinuxProcessRunner>(),
                                          GitCommandRunner::Mode::logged, c.executable);
            test::LogCapture log;
            const GitOutput output = runner.run({"ls-files", "--cached", "--others", "--exclude-standard"},
                                                (place.path() / "proj").string(), c.timeout);
            ASSERT_EQ(output.has_value(), !c.failure);
            if (!c.failure) {
                EXPECT_EQ(output, Lines{"a"});
                continue;
            }
            EXPECT_EQ(output.failure(), *c.failure);
            const bool final = *c.failure != GitFailure::failed && *c.failure != GitFailure::timedOut;
            EXPECT_EQ(isFinal(output.failure()), final);
            EXPECT_THAT(errorLines(log), HasSubstr("cwd=proj "));
            EXPECT_THAT(errorLines(log), Not(HasSubstr("Schwerwiegend")));
        }
    }
}

// git's answer that no repository holds a folder stands, without git, until what it looked at changes:
// the user's own configuration, or a repository made in a folder above.
TEST(GitCommandRunnerTest, NoRepositoryIsAnsweredWithoutGitUntilTheFolderChanges) {
    const test::GitRepo settings; // a private HOME
    const test::TempDir place;
    const auto proj = place.path() / "top/proj";
    place.write("top/proj/a", "");
    const auto processes = std::make_shared<test::CountingProcessRunner>();
    const GitCommandRunner runner(processes);
    const GitCommandRunner copy = runner;
    test::LogCapture log;
    const auto asked = [&](const Lines& arguments) {
        const int before = processes->launches();
        const GitOutput output = copy.run(arguments, proj.string(), 5.0);
        EXPECT_FALSE(output);
        EXPECT_EQ(output.failure(), GitFailure::noRepository);
        return processes->launches() - before;
    };
    EXPECT_GT(asked({"ls-files", "--cached"}), 0);
    for (int again = 0; again < 3; ++again) {
        EXPECT_EQ(asked({"status", "--porcelain"}), 0);
        EXPECT_EQ(asked({"log", "--name-only"}), 0);
    }
    const std::string said = errorLines(log);
    EXPECT_EQ(said.find("no repository holds this folder"), said.rfind("no repository holds this folder"))
        << said;

    place.write("top/proj/b", "");
    place.write("top/c", "");
    EXPECT_EQ(asked({"status"}), 0) << "files that decide nothing";
    ASSERT_EQ(std::system(("git config --global core.abbrev 12 && test -s \"$HOME/.gitconfig\"")), 0);
    EXPECT_GT(asked({"status"}), 0) << "the user's own configuration changed";
    EXPECT_EQ(asked({"status"}), 0);

    ASSERT_EQ(std::system(("git init -q '" + (place.path() / "top").string() + "'").c_str()), 0);
    EXPECT_EQ(runner.run({"ls-files", "--others"}, proj.string(), 5.0), (Lines{"a", "b"}));
}

// A refusal the user can mend is not kept as "no repository": a repository whose owner git does not
// trust lists once a safe.directory names it in a file the user's configuration includes, while a folder
// without a repository stays answered without git.
TEST(GitCommandRunnerTest, ARefusalTheUserCanMendIsAskedAgain) {
    const test::GitRepo repo; // a private HOME
    repo.write("a", "");
    const test::TempDir plain;
    const std::string included = std::string(std::getenv("HOME")) + "/included";
    ASSERT_EQ(
        std::system(
            ("touch '" + included + "' && git config --global include.path '" + included + "'").c_str()),
        0);
    const test::ScopedEnv owner("GIT_TEST_ASSUME_DIFFERENT_OWNER", "1");
    const auto processes = std::make_shared<test::CountingProcessRunner>();
    const GitCommandRunner runner(processes);
    const auto launches = [&](const std::string& folder, GitFailure failure) {
        const int before = processes->launches();
        const GitOutput output = runner.run({"ls-files", "--others"}, folder, 5.0);
        EXPECT_FALSE(output);
        EXPECT_EQ(output.failure(), failure);
        return processes->launches() - before;
    };
    EXPECT_GT(launches(plain.path().string(), GitFailure::noRepository), 0);
    EXPECT_EQ(launches(plain.path().string(), GitFailure::noRepository), 0);
    EXPECT_GT(launches(repo.root(), GitFailure::failed), 0);
    EXPECT_GT(launches(repo.root(), GitFailure::failed), 0);
    std::ofstream(included, std::ios::app) << "[safe]\n\tdirectory = " << repo.root() << "\n";
    EXPECT_EQ(runner.run({"ls-files", "--others"}, repo.root(), 5.0), Lines{"a"});
}

// The folder's configuration is listed once and its overrides kept while nothing the listing was read
// from changed: a filter the repository's configuration, or a file it includes, names afterwards never
// runs either.
TEST(GitCommandRunnerTest, TheConfigurationIsListedOncePerChangeAndAFilterNamedLaterNeverRuns) {
    const test::GitRepo settings; // a private HOME
    struct Case {
        const char* name;
        std::string file; // where the filter is named later
        std::unique_ptr<test::TempDir> repo = std::make_unique<test::TempDir>();
    };
    std::vector<Case> cases;
    cases.push_back({"the repository's configuration", ".git/config"});
    cases.push_back({"a file it includes", ".git/extra"});
    for (auto& c : cases) {
        c.repo->write("a.txt", "one\n");
        c.repo->write(".gitattributes", "*.txt filter=evil\n");
        ASSERT_EQ(
            std::system(("cd '" + c.repo->path().string() +
                         "' && git init -q && git config include.path extra && touch .git/extra && "
                         "git add -A && git -c user.name=T -c user.email=t@example.invalid commit -qm one")
                            .c_str()),
            0);
    }
    // Changes of the last two seconds may fall within a listing unseen.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const auto processes = std::make_shared<test::CountingProcessRunner>();
    const GitCommandRunner runner(processes);
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string root = c.repo->path().string();
        const auto marker = c.repo->path() / "marker";
        const auto launches = [&](const Lines& arguments) {
            const int before = processes->launches();
            EXPECT_TRUE(runner.run(arguments, root, 5.0));
            return processes->launches() - before;
        };
        EXPECT_EQ(launches({"status", "--porcelain"}), 3) << "the listing, the work tree's and the status";
        EXPECT_EQ(launches({"log", "--name-only"}), 2);
        EXPECT_EQ(launches({"for-each-ref"}), 1);

        std::ofstream(c.repo->path() / c.file, std::ios::app)
            << "[filter \"evil\"]\n\tclean = touch " << marker.string() << "\n";
        ASSERT_EQ(std::system(("cd '" + root + "' && cp a.txt b && mv b a.txt").c_str()), 0);
        EXPECT_EQ(launches({"status", "--porcelain"}), 3);
        EXPECT_FALSE(std::filesystem::exists(marker));
    }
}

TEST(GitCommandRunnerTest, RepositoryMonitorProgramNeverRuns) {
    test::TempDir repo;
    const auto marker = repo.path() / "monitor-ran";
    const auto monitor = repo.write("monitor.sh", "#!/bin/sh\ntouch '" + marker.string() + "'\nexit 1\n");
    std::filesystem::permissions(monitor, std::filesystem::perms::owner_all);
    const std::string dir = repo.path().string();
    ASSERT_EQ(std::system(("git -C '" + dir + "' init -q && git -C '" + dir + "' config core.fsmonitor '" +
                           monitor.string() + "'")
                              .c_str()),
              0);
    const GitCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    EXPECT_TRUE(runner.run({"ls-files", "--cached", "--others", "--exclude-standard"}, dir, 5.0));
    EXPECT_TRUE(runner.run({"status", "--porcelain"}, dir, 5.0));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

// A repository that came with its own .git folder maps its files to filter drivers whose programs
// leave a marker. Plain git runs them; Korvane's runs never do, whichever way the driver is defined,
// while a filter of the user's own global configuration still works.
TEST(GitCommandRunnerTest, RepositoryFilterProgramsNeverRun) {
    struct Case {
        std::string name;
        std::string config; // appended to .git/config; MARK stands for the marker command
    };
    const std::vector<Case> cases = {
        {"clean", "[filter \"evil\"]\n\tclean = MARK\n"},
        {"smudge and clean", "[filter \"evil\"]\n\tsmudge = MARK\n\tclean = MARK\n\trequired = true\n"},
        {"process", "[filter \"evil\"]\n\tprocess = MARK\n"},
        {"include.path", "[include]\n\tpath = extra\n"},
        {"includeIf", "[includeIf \"gitdir:/\"]\n\tpath = extra\n"},
        {"long-running", "[filter \"evil\"]\n\tclean = \"(sleep 1; MARK) & cat\"\n"},
        {"driver named with =", "[filter \"e=v\"]\n\tclean = MARK\n"},
    };
    const GitCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::GitRepo repo;
        const auto marker = repo.path() / "marker";
        std::string config = c.config;
        for (auto at = config.find("MARK"); at != std::string::npos; at = config.find("MARK")) {
            config.replace(at, 4, "touch " + marker.string());
        }
        const std::string driver = c.name == "driver named with =" ? "e=v" : "evil";
        repo.write("a.txt", "one\n");
        repo.write(".gitattributes", "*.txt filter=" + driver + "\n");
        ASSERT_TRUE(repo.sh("git add -A && git commit -qm one"));
        repo.write(".git/extra", "[filter \"evil\"]\n\tclean = touch " + marker.string() + "\n");
        std::ofstream(repo.path() / ".git/config", std::ios::app) << config;
        // A file in a new inode is what an extracted archive looks like to git: the stat data no
        // longer match the index, so the content has to be cleaned and compared.
        ASSERT_TRUE(repo.sh("cp a.txt b && mv b a.txt"));
        const std::string settle = c.name == "long-running" ? "sleep 1.3; " : "";
        ASSERT_TRUE(repo.sh("git status --porcelain >/dev/null 2>&1; " + settle + "test -e marker"))
            << "the filter did not run under plain git";
        std::filesystem::remove(marker);

        EXPECT_TRUE(runner.run({"status", "--porcelain", "--untracked-files=all"}, repo.root(), 5.0));
        EXPECT_TRUE(runner.run({"ls-files", "--cached", "--others", "--exclude-standard"}, repo.root(), 5.0));
        EXPECT_TRUE(runner.run({"log", "--name-only", "--pretty=format:"}, repo.root(), 5.0));
        if (!settle.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        }
        EXPECT_FALSE(std::filesystem::exists(marker));
    }
    // The user's own filter of the same name stays in force.
    test::GitRepo repo;
    const auto userMarker = repo.path() / "user-filter-ran";
    repo.write("a.txt", "one\n");
    repo.write(".gitattributes", "*.txt filter=evil\n");
    ASSERT_TRUE(repo.sh("git add -A && git commit -qm one && git config --global filter.evil.clean 'touch " +
                        userMarker.string() +
                        "; cat' && git config filter.evil.clean false && cp a.txt b && mv b a.txt"));
    EXPECT_TRUE(runner.run({"status", "--porcelain"}, repo.root(), 5.0));
    EXPECT_TRUE(std::filesystem::exists(userMarker));
}

// Each setting of the repository's own that names a program gets the user's value, else one that runs
// nothing of the repository's; the hooks folder always gets the user's or none.
TEST(GitProgramOverridesTest, RepositoryProgramsGetTheUsersValueOrNone) {
    const auto entry = [](std::string scope, std::string keyValue) {
        const std::string origin = scope == "global" ? "file:/home/u/.gitconfig" : "file:.git/config";
        return scope + '\0' + origin + '\0' + keyValue + '\0';
    };
    const std::string listing =
        entry("global", "gpg.program\nmy-gpg") + entry("command", "core.askpass\nmy-askpass") +
        entry("local", "gpg.program\nevil") + entry("local", "gpg.ssh.program\nevil") +
        entry("local", "core.sshcommand\nevil") + entry("worktree", "core.askpass\nevil") +
        entry("local", "merge.m.driver\nevil") + entry("local", "diff.a.b.textconv\nevil") +
        entry("local", "core.fsmonitor") + entry("local", "core.editor\nvi") + entry("local", "user.name\nx");
    using Setting = std::pair<std::string, std::string>;
    const auto settings = GitProgramOverrides::fromListing(listing).settings();
    for (const auto& expected : {Setting{"core.askpass", "my-askpass"}, Setting{"core.fsmonitor", "false"},
                                 Setting{"core.sshcommand", "ssh"}, Setting{"diff.a.b.textconv", "cat"},
                                 Setting{"gpg.program", "my-gpg"}, Setting{"gpg.ssh.program", "ssh-keygen"},
                                 Setting{"merge.m.driver", ""}, Setting{"core.editor", ":"},
                                 Setting{"core.hookspath", "/dev/null"}}) {
        EXPECT_THAT(settings, testing::Contains(expected));
    }
    for (const auto& [key, value] : settings) {
        EXPECT_NE(value, "evil") << key;
    }
}

} // namespace
} // namespace korvane
