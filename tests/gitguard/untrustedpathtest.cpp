#include "files/gitrepo.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/shellcommandrunner.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <cstdlib>
#include <filesystem>
#include <gmock/gmock.h>

namespace korvane {
namespace {

using testing::HasSubstr;
using Trust = ShellCommandRunner::Folder;

// A downloaded folder made by a setup script, and the user's own command run there as a global
// provider runs it.
class Download {
public:
    // `setup` runs in a fresh repository; MARK stands for a command that leaves the marker.
    explicit Download(const std::string& setup) {
        std::string script =
            "git config --global user.name T && git config --global user.email t@example.invalid "
            "&& echo a >a.txt && git add a.txt && git commit -qm a && "
            "printf '#!/bin/sh\\nMARK\\nexit 1\\n' >m.sh && chmod +x m.sh && " +
            setup;
        for (auto at = script.find("MARK"); at != std::string::npos; at = script.find("MARK")) {
            script.replace(at, 4, "touch '" + marker().string() + "'");
        }
        made_ = repo_.sh(script);
    }
    bool made() const { return made_; }
    std::string root() const { return repo_.root(); }
    std::filesystem::path marker() const { return repo_.path() / "marker"; }
    bool marked() const { return std::filesystem::exists(marker()); }
    bool ran() const { return std::filesystem::exists(repo_.path() / "ran"); }
    ShellCommandRunner::RunResult run(const std::string& command, Trust trust) const {
        return ShellCommandRunner(std::make_shared<LinuxProcessRunner>())
            .run("( " + command + " ) 2>&1; touch ran", root(), 20, trust);
    }

private:
    const test::ScopedEnv home_{"HOME", std::getenv("HOME")};
    const test::ScopedEnv noSystem_{"GIT_CONFIG_NOSYSTEM", std::getenv("GIT_CONFIG_NOSYSTEM")};
    test::GitRepo repo_;
    bool made_ = false;
};

// sub/cfg: a copy of the top's configuration in which the alias "git zz" and the file-system monitor
// m.sh leave the marker; cfg: a plain copy, which the reading in the root finds.
const std::string subConfig = "mkdir -p sub && cp .git/config sub/cfg && cp .git/config cfg && "
                              "git config -f sub/cfg alias.zz '!MARK' && "
                              "git config -f sub/cfg core.fsmonitor \"$PWD/m.sh\" && ";
// A submodule "sm" of a repository kept in .git/src.
const std::string withSubmodule =
    "git init -q .git/src && echo s >.git/src/s.txt && echo '*.txt filter=evil' >.git/src/.gitattributes "
    "&& git -C .git/src add -A && git -C .git/src commit -qm s && "
    "git -c protocol.file.allow=always submodule add -q \"$PWD/.git/src\" sm && git commit -qm sm && ";
const std::string climb = "../../../../../../../../../../../../../../../../../../../..";

// Names under /proc and /dev name a place of the process that follows them: git run by Korvane in the
// root and git run by the command in a folder below it (or git's own children) read different
// repositories through them. Each shape runs the marker under plain git; in a folder not trusted the
// command waits for trust, and its line names the file that leads there.
TEST(UntrustedFolderPathsTest, APathThroughAPlaceOfEachProgramsOwnKeepsTheCommandFromRunning) {
    struct Shape {
        const char* name;
        std::string setup;
        std::string command;
        std::string named; // after the root
    };
    const std::vector<Shape> shapes = {
        {"a top .git naming /proc/self/cwd",
         subConfig + "cp -r .git sub/.hid && cp sub/cfg sub/.hid/config && mv .git .hid && "
                     "echo 'gitdir: /proc/self/cwd/.hid' >.git",
         "cd sub && git status --short", "/.git names a path that leads through /proc,"},
        {"a top .git linking into /proc/thread-self",
         subConfig + "cp -r .git sub/.hid && cp sub/cfg sub/.hid/config && mv .git .hid && "
                     "ln -s /proc/thread-self/cwd/.hid .git",
         "cd sub && git zz", "/.git leads through /proc,"},
        {"a config linking through another link that climbs into /proc",
         subConfig + "ln -s " + climb + "/proc/self/cwd/cfg lnk && ln -sf ../lnk .git/config",
         "cd sub && git zz", "/.git/config leads through /proc,"},
        {"a commondir naming /proc/self/cwd",
         subConfig + "cp -r .git .c && cp -r .git sub/.c && cp sub/cfg sub/.c/config && "
                     "echo /proc/self/cwd/.c >.git/commondir",
         "cd sub && git zz", "/.git/commondir names a path that leads through /proc,"},
        {"a config.worktree linking to /dev/fd",
         subConfig + "git config core.repositoryformatversion 1 && git config extensions.worktreeConfig true "
                     "&& ln -s /dev/fd/0 .git/config.worktree",
         "git status --short <sub/cfg", "/.git/config.worktree leads through /dev/fd,"},
        {"a submodule's .git naming /proc/self/cwd",
         withSubmodule +
             "cp -r .git/modules/sm .g && git config -f .g/config --unset core.worktree && "
             "git config -f .g/config core.fsmonitor \"$PWD/m.sh\" && mv .git/modules/sm sm/.g && "
             "git config -f sm/.g/config --unset core.worktree && "
             "echo 'gitdir: /proc/self/cwd/.g' >sm/.git",
         "git ls-files --recurse-submodules", "/sm/.git names a path that leads through /proc,"},
        {"a modules entry's config linking to /proc/self/cwd",
         withSubmodule + "git submodule deinit -q -f sm && cp .git/modules/sm/config sm/cfg && "
                         "git config -f sm/cfg filter.evil.smudge 'MARK; cat' && "
                         "ln -sf /proc/self/cwd/cfg .git/modules/sm/config",
         "git submodule update --init", "/.git/modules/sm/config leads through /proc,"},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const Download plain(shape.setup);
        ASSERT_TRUE(plain.made()) << shape.setup;
        const auto shown = plain.run(shape.command, Trust::trusted);
        ASSERT_TRUE(plain.marked()) << "the program did not run under plain git: " << shown.output;

        const Download untrusted(shape.setup);
        ASSERT_TRUE(untrusted.made());
        test::LogCapture log;
        untrusted.run(shape.command, Trust::untrusted);
        EXPECT_FALSE(untrusted.marked());
        EXPECT_FALSE(untrusted.ran());
        if (log.lines().empty()) {
            ADD_FAILURE() << "no line says why the command did not run";
            continue;
        }
        EXPECT_THAT(log.lines().front(), HasSubstr("[GIT EXEC FAILED] cwd=" + untrusted.root() +
                                                   " error=" + untrusted.root() + shape.named));
        EXPECT_THAT(log.lines().front(),
                    HasSubstr("trusting the folder (\"Trust this folder…\" in the tray)"));
    }
}

// Empty and relative entries of the user's search path name the folder the command runs in, and so
// do /proc/self/cwd and an absolute entry that leads into the folder (a project's node_modules/.bin),
// also through a link: there the command, and Korvane's reading, find the user's git, not the
// folder's, which the plain shell runs.
TEST(UntrustedFolderPathsTest, TheSearchPathOfACommandNamesNoProgramOfTheFolder) {
    const test::TempDir elsewhere;
    for (const std::string searchPath :
         {":/usr/bin:/bin", "bin:/usr/bin:/bin", "/proc/self/cwd:/usr/bin:/bin", "ROOT/bin:/usr/bin:/bin",
          "LINK/bin:/usr/bin:/bin"}) {
        SCOPED_TRACE(searchPath);
        const std::string setup = "mkdir bin && printf '#!/bin/sh\\nMARK\\n' >bin/git && chmod +x bin/git && "
                                  "cp bin/git git";
        const Download plain(setup);
        const Download untrusted(setup);
        ASSERT_TRUE(plain.made() && untrusted.made());
        // ROOT stands for the folder, LINK for a link elsewhere that leads to it.
        const auto pathIn = [&](const Download& download) {
            std::string path = searchPath;
            const auto link = elsewhere.path() / std::filesystem::path(download.root()).filename();
            std::filesystem::create_directory_symlink(download.root(), link);
            for (const auto& [name, place] : {std::pair{"ROOT", download.root()}, {"LINK", link.string()}}) {
                if (const auto at = path.find(name); at != std::string::npos) {
                    path.replace(at, 4, place);
                }
            }
            return path;
        };
        {
            const test::ScopedEnv path("PATH", pathIn(plain).c_str());
            plain.run("git status --short", Trust::trusted);
        }
        ASSERT_TRUE(plain.marked()) << "the folder's git did not run in plain shell";
        const test::ScopedEnv path("PATH", pathIn(untrusted).c_str());
        const auto result = untrusted.run("git status --short", Trust::untrusted);
        EXPECT_FALSE(untrusted.marked());
        EXPECT_TRUE(untrusted.ran());
        EXPECT_THAT(result.output, HasSubstr("?? bin/"));
    }
}

} // namespace
} // namespace korvane
