#include "files/filepathindexbuilder.h"

#include "files/gitcommandrunner.h"
#include "files/gitlsfilesbroker.h"
#include "files/gitpathquoting.h"
#include "gitrepo.h"
#include "platform/fake/fakeclock.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Paths = std::vector<std::string>;

FilePathIndexBuilder gitBuilder() {
    FilePathIndexBuilder builder;
    builder.commandRunner = GitCommandRunner(std::make_shared<LinuxProcessRunner>()).commandRunner();
    return builder;
}

std::string messages(const test::LogCapture& log) {
    std::string text;
    for (const auto& line : log.performanceLines()) {
        text += line.message + "\n";
    }
    return text;
}

// Names holding a control character or a line break are refused like undecodable ones: typed into a
// terminal they could carry a sequence of their own.
TEST(GitPathQuotingTest, DecodesGitQuotingAndRefusesWhatIsNotAUtf8Path) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"plain/file.txt", "plain/file.txt"},
        {"\"caf\\303\\251.txt\"", "caf\xc3\xa9.txt"},
        {"\"name\\\"q\\\\.txt\"", "name\"q\\.txt"},
        {"\"tab\\tname.txt\"", std::nullopt},
        {"\"line\\nbreak\"", std::nullopt},
        {"\"esc\\033[201~\"", std::nullopt},
        {"\"c1\\302\\233x\"", std::nullopt},
        {"\"rtl\\342\\200\\256txt.exe\"", std::nullopt},
        {"\"bad\\377name\"", std::nullopt},
        {"\"unterminated", std::nullopt},
        {"\"bad\\9escape\"", std::nullopt},
        {"\"short\\30\"", std::nullopt},
    };
    for (const auto& [printed, expected] : cases) {
        EXPECT_EQ(decodeGitPath(printed), expected) << printed;
    }
}

TEST(FilePathIndexBuilderTest, GitListingHoldsTrackedAndUntrackedPathsDecodedNeverIgnoredOrBroken) {
    test::GitRepo repo;
    repo.write(".gitignore", "*.log\n");
    repo.write("src/main.c");
    repo.sh("git add -A && git commit -qm one");
    repo.write("notes/new file.txt");
    repo.write("build.log");
    repo.write("caf\xc3\xa9.txt");
    repo.write("tab\tand \"quote\".txt");
    repo.write("B.txt");
    repo.write("broken\xff.txt");
    test::LogCapture log;
    const auto result = gitBuilder().build(repo.root(), {});
    EXPECT_TRUE(result.usedGit);
    EXPECT_THAT(result.relativePaths,
                ElementsAre(".gitignore", "B.txt", "caf\xc3\xa9.txt", "notes/new file.txt", "src/main.c"));
    EXPECT_TRUE(result.gitLsFilesMs && !result.fileManagerMs);
    EXPECT_TRUE(result.recentByMtime.empty());
    EXPECT_THAT(messages(log), HasSubstr("[GIT LS-FILES SUCCESS] root=" + repo.path().filename().string() +
                                         " files=5 gitMs="));
}

TEST(FilePathIndexBuilderTest, RootInASubfolderListsPathsRelativeToItself) {
    test::GitRepo repo;
    repo.write("packages/app/src/x.ts");
    repo.write("packages/lib/y.ts");
    repo.write("top.md");
    repo.sh("git add -A && git commit -qm one");
    repo.write("packages/app/untracked.ts");
    const auto result = gitBuilder().build((repo.path() / "packages/app").string(), {});
    EXPECT_THAT(result.relativePaths, ElementsAre("src/x.ts", "untracked.ts"));
}

// A downloaded project whose git points at another folder's repository or work tree must not list
// that folder's names: it is walked instead. Worktrees and submodules of its own still list through git.
TEST(FilePathIndexBuilderTest, GitListsOnlyAWorkTreeThatHoldsTheRootAndIsItsRepositorysOwn) {
    struct Case {
        std::string name;
        std::string setup; // run in a folder holding "other" (a repository) and "proj"; ROOT names the root
        std::string root;
        bool usedGit;
        Paths paths;
    };
    const std::vector<Case> cases = {
        {".git file naming another repository",
         "mkdir proj && echo \"gitdir: $PWD/other/.git\" >proj/.git",
         "proj",
         false,
         {"mine.txt"}},
        {".git a link to another repository",
         "mkdir proj && ln -s \"$PWD/other/.git\" proj/.git",
         "proj",
         false,
         {"mine.txt"}},
        {"core.worktree naming another folder",
         "git init -q proj && git -C proj config core.worktree \"$PWD/other\"",
         "proj",
         false,
         {"mine.txt"}},
        {"core.worktree naming a parent folder, listed from the root down",
         "git init -q proj && git -C proj config core.worktree \"$PWD\"",
         "proj",
         true,
         {"mine.txt"}},
        {"linked worktree",
         "git -C other worktree add -q \"$PWD/proj\"",
         "proj",
         true,
         {"mine.txt", "secret-name.txt"}},
        {"submodule",
         "git init -q proj && git -C proj -c protocol.file.allow=always submodule add -q "
         "\"$PWD/other\" sub && echo x >proj/sub/mine.txt",
         "proj/sub",
         true,
         {"mine.txt", "secret-name.txt"}},
        {"root reached through a link", "git init -q proj && ln -s proj link", "link", true, {"mine.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::GitRepo settings; // a private HOME
        const test::TempDir place;
        const auto sh = [&](const std::string& command) {
            return std::system(("cd '" + place.path().string() + "' && " + command).c_str()) == 0;
        };
        ASSERT_TRUE(sh("git init -q other && cd other && echo s >secret-name.txt && git add -A && "
                       "git -c user.name=T -c user.email=t@example.invalid commit -qm one"));
        ASSERT_TRUE(sh(c.setup)) << c.setup;
        place.write("proj/mine.txt", "x");
        const auto result = gitBuilder().build((place.path() / c.root).string(), {});
        EXPECT_EQ(result.usedGit, c.usedGit);
        EXPECT_EQ(result.relativePaths, c.paths);
    }
}

TEST(FilePathIndexBuilderTest, RepositoryOwnedByAnotherUserFallsBackToTheWalk) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "changing a folder's owner needs root";
    }
    test::GitRepo repo;
    repo.write("a.txt");
    repo.sh("git add -A && git commit -qm one && chown -R 65534 .");
    test::LogCapture log;
    const auto result = gitBuilder().build(repo.root(), {});
    EXPECT_FALSE(result.usedGit);
    EXPECT_THAT(result.relativePaths, ElementsAre("a.txt"));
    EXPECT_THAT(messages(log), HasSubstr("reason=ERROR"));
    EXPECT_THAT(messages(log), HasSubstr("[FILEMANAGER FALLBACK] root=" + repo.path().filename().string() +
                                         " files=1 fmMs="));
    EXPECT_THAT(messages(log), HasSubstr("gitFailure=ERROR"));
}

TEST(FilePathIndexBuilderTest, WalkSkipsDotFilesSkippedFoldersLinksAndWhatLiesTooDeep) {
    test::TempDir root;
    const Paths listed = {".github/workflows/ci.yml", "B.txt", "a.txt", "d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/f11.txt",
                          "src/z.c", "src2/a.c"};
    for (const auto& path : listed) {
        root.write(path, "x");
    }
    for (const std::string path : {".env", ".gitignore", "node_modules/m.js", ".git/HEAD", ".venv/v.py",
                                   "build/out.o", "d1/d2/d3/d4/d5/d6/d7/d8/d9/d10/d11/f12.txt", "bad\xfe.txt"}) {
        root.write(path, "x");
    }
    test::TempDir outside;
    outside.write("secret.txt", "x");
    std::filesystem::create_directory_symlink(outside.path(), root.path() / "linked");
    std::filesystem::create_symlink(outside.path() / "secret.txt", root.path() / "file-link.txt");

    FilePathIndexBuilder builder;
    builder.commandRunner = [](const auto&, const auto&, double) { return std::nullopt; };
    test::LogCapture log;
    const auto result = builder.build(root.path().string(), {});
    EXPECT_FALSE(result.usedGit);
    EXPECT_FALSE(result.wasTruncated);
    EXPECT_EQ(result.relativePaths, listed);
    EXPECT_TRUE(result.fileManagerMs && !result.gitLsFilesMs);

    // The same tree reached through a link to it.
    test::TempDir links;
    std::filesystem::create_directory_symlink(root.path(), links.path() / "proj");
    EXPECT_EQ(builder.build((links.path() / "proj").string(), {}).relativePaths, listed);
}

TEST(FilePathIndexBuilderTest, WalkKeepsTheFifteenNewestFilesOfTheWeek) {
    test::TempDir root;
    const auto now = ::time(nullptr);
    for (int i = 0; i < 20; ++i) {
        const auto path = root.write("f" + std::to_string(i) + ".txt", "x");
        const struct timespec times[2] = {{now - i * 60, 0}, {now - i * 60, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    const auto old = root.write("old.txt", "x");
    const struct timespec eightDays[2] = {{now - 8 * 86400, 0}, {now - 8 * 86400, 0}};
    ::utimensat(AT_FDCWD, old.c_str(), eightDays, 0);
    const auto walk = FilePathIndexBuilder{}.walkFileManager(root.path().string());
    Paths expected;
    for (int i = 0; i < 15; ++i) {
        expected.push_back("f" + std::to_string(i) + ".txt");
    }
    EXPECT_EQ(walk.recentPaths, expected);
}

TEST(FilePathIndexBuilderTest, FreshBrokerListingSparesTheGitRun) {
    test::TempDir root;
    std::atomic<int> runs{0};
    FilePathIndexBuilder builder;
    builder.commandRunner = [&](const auto&, const auto&, double) {
        ++runs;
        return std::optional<Paths>(Paths{"from-git"});
    };
    GitLsFilesBroker broker(SystemClock::shared());
    builder.broker = &broker;
    broker.store(root.path().string(), {"z.txt", "\"caf\\303\\251\"", "a.txt"});
    test::LogCapture log;
    const auto result = builder.build(root.path().string(), {});
    EXPECT_EQ(runs.load(), 0);
    EXPECT_THAT(result.relativePaths, ElementsAre("a.txt", "caf\xc3\xa9", "z.txt"));
    EXPECT_TRUE(result.usedGit);
    EXPECT_THAT(messages(log), HasSubstr("[BROKER HIT] root=" + root.path().filename().string() + " files=3 age="));
    EXPECT_THAT(messages(log), HasSubstr("[GIT LS-FILES SUCCESS]"));
    EXPECT_EQ(builder.build(root.path().string(), {}).relativePaths, Paths{"from-git"});
    EXPECT_EQ(runs.load(), 1);
}

TEST(FilePathIndexBuilderTest, FailureReasonIsTimeoutFromNineTenthsOfTheLimit) {
    test::TempDir root;
    for (const double seconds : {4.6, 4.4}) {
        FakeClock clock;
        FilePathIndexBuilder builder;
        builder.clock = &clock;
        builder.commandRunner = [&](const auto&, const auto&, double) {
            clock.advance(seconds);
            return std::optional<Paths>();
        };
        test::LogCapture log;
        builder.build(root.path().string(), {});
        EXPECT_THAT(messages(log), HasSubstr(seconds > 4.5 ? "reason=TIMEOUT attemptMs=4600.00ms timeout=5000ms"
                                                           : "reason=ERROR attemptMs=4400.00ms"));
    }
}

TEST(FilePathIndexBuilderTest, IncludePathsAddFilesBelowTheRootOnlyOnce) {
    test::TempDir root;
    test::TempDir outside;
    outside.write("x.txt", "x");
    root.write("node_modules/pkg/index.js", "x");
    root.write("vendor/lib.c", "x");
    root.write("vendor/.hidden", "x");
    root.write("listed.txt", "x");
    std::filesystem::create_directory_symlink(outside.path(), root.path() / "escape");
    FilePathIndexBuilder builder;
    builder.commandRunner = [](const auto&, const auto&, double) { return std::optional<Paths>(Paths{"listed.txt"}); };
    Paths includes = {"../" + outside.path().filename().string(), "escape", "node_modules", "missing", "/vendor",
                      "."};
    test::LogCapture log;
    auto result = builder.build(root.path().string(), includes);
    EXPECT_THAT(result.relativePaths, ElementsAre("listed.txt", "node_modules/pkg/index.js", "vendor/lib.c"));
    const std::string text = messages(log);
    EXPECT_THAT(text, HasSubstr("include_paths: skipping '../" + outside.path().filename().string() +
                                "' (escapes project root after symlink resolution)"));
    EXPECT_THAT(text, HasSubstr("include_paths: skipping 'escape'"));
    EXPECT_THAT(text, HasSubstr("include_paths: 'node_modules' may contain many files"));

    // Only the first ten include paths count.
    Paths eleven(10, "missing");
    eleven.push_back("vendor");
    EXPECT_THAT(builder.build(root.path().string(), eleven).relativePaths, ElementsAre("listed.txt"));
}

} // namespace
} // namespace korvane
