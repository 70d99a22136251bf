#include "gitguard/untrustedfoldergitcache.h"

#include "files/gitrepo.h"
#include "gitguard/untrustedfoldergit.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/shellcommandrunner.h"
#include "support/countingprocessrunner.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace korvane {
namespace {

using ::testing::HasSubstr;

// A decision as one line: the settings it runs with, or why it waits.
std::string described(const Expected<UntrustedFolderGit, std::string>& decision) {
    std::string said = decision ? "runs" : "waits: " + decision.error();
    if (decision) {
        for (const auto& [key, value] : decision->settings()) {
            said += " " + key + "=" + value;
        }
    }
    return said;
}

// Readings as the shell command runner asks for them; changes a tenth of a second old count as settled.
class UntrustedFolderGitCacheTest : public testing::Test {
protected:
    static constexpr double settle = 0.05;

    ProcessRequest base(const std::string& query = "") const {
        ProcessRequest request;
        request.executable = "/usr/bin/git";
        request.workingDirectory = repo.root();
        request.environment = {{"PROJECT_ROOT", repo.root()}, {"KORVANE_QUERY", query}};
        request.timeout = 10;
        return request;
    }

    // The git processes the next reading starts, and its decision: the settings, or why it waits.
    std::pair<int, std::string> read(const ProcessRequest& request) {
        std::this_thread::sleep_for(std::chrono::duration<double>(2 * settle));
        const int before = processes->launches();
        const std::string said = described(cache.read(*processes, request));
        return {processes->launches() - before, said};
    }
    std::pair<int, std::string> read() { return read(base()); }

    test::GitRepo repo;
    std::shared_ptr<test::CountingProcessRunner> processes = std::make_shared<test::CountingProcessRunner>();
    UntrustedFolderGitCache cache{settle};
};

// A decision stands, without git, while nothing it was read from changed (the work of git itself in its
// directory included), and is read again after any change to the folder's configuration, a file it
// includes or would include, the user's own files, the branch an include depends on, an entry made in
// the git directory, or the gitlinks of the index.
TEST_F(UntrustedFolderGitCacheTest, ADecisionStandsUntilWhatItWasReadFromChanges) {
    const std::string home = std::getenv("HOME");
    ASSERT_TRUE(repo.sh("git commit -q --allow-empty -m one && git config --global include.path " + home +
                        "/more.gitconfig"));
    const auto first = read();
    EXPECT_GT(first.first, 0);
    EXPECT_EQ(first.second.substr(0, 4), "runs");
    EXPECT_EQ(read(), std::pair(0, first.second));
    EXPECT_EQ(read(base("another query")), std::pair(0, first.second)) << "Korvane's own variables";
    repo.write("src/b.c");
    repo.write("notes.txt");
    EXPECT_EQ(read().first, 0) << "files git reads no configuration from";
    ASSERT_TRUE(repo.sh("git status --short >/dev/null && git commit -q --allow-empty -m two"));
    EXPECT_EQ(read().first, 0) << "git's own work in its directory";

    struct Edit {
        const char* what;
        std::string command;
        std::string said; // what the decision then says, in part
    };
    const std::vector<Edit> edits = {
        {"the user's included file",
         "printf '[core]\\n\\thooksPath = /opt/hooks\\n' >>\"$HOME/more.gitconfig\"",
         "core.hookspath=/opt/hooks"},
        {"the user's global file", "git config --global core.hooksPath /srv/hooks",
         "core.hookspath=/srv/hooks"},
        {"the repository's configuration", "git config core.pager 'sh -c evil'", "waits: "},
        {"back again", "git config --unset core.pager", "runs"},
        {"an include that names a file not there yet", "git config include.path later.cfg", "waits: "},
        {"the file it names made", "printf '[core]\\n\\tpager = evil\\n' >.git/later.cfg", "waits: "},
        {"the branch an include depends on",
         "git config --unset include.path && git config "
         "includeIf.onbranch:other.path later.cfg && git checkout -q -b other",
         "waits: "},
        {"the include gone", "git config --unset includeIf.onbranch:other.path && git checkout -q -", "runs"},
        {"a link in the git directory", "ln -s /proc/self/cwd .git/elsewhere", "waits: "},
        {"the link gone", "rm .git/elsewhere", "runs"},
        // git continues an operation from such a folder as written there.
        {"a folder made in the git directory", "mkdir .git/rebase-merge", ""},
        {"the folder gone", "rmdir .git/rebase-merge", "runs"},
        {"a gitlink staged",
         "git init -q inner && "
         "git -C inner -c user.name=T -c user.email=t@example.invalid commit -q --allow-empty -m i && git "
         "add inner 2>/dev/null",
         "runs"},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.what);
        ASSERT_TRUE(repo.sh(edit.command));
        const auto [launches, said] = read();
        EXPECT_GT(launches, 0);
        EXPECT_THAT(said, HasSubstr(edit.said));
        EXPECT_EQ(read(), std::pair(0, said));
    }
}

// A text file git reads is vouched for only where it is one file for every process: through
// /proc/self/fd the command's git reads its own descriptor, not the one Korvane's has open there.
TEST_F(UntrustedFolderGitCacheTest, ATextFileNamedThroughTheReadersOwnDescriptorsWaits) {
    repo.write(".gitmessage");
    const int open = ::open((repo.path() / ".gitmessage").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(open, 0);
    ASSERT_TRUE(repo.sh("git config commit.template .gitmessage"));
    EXPECT_THAT(read().second, HasSubstr("runs"));
    ASSERT_TRUE(repo.sh("git config commit.template /proc/self/fd/" + std::to_string(open)));
    EXPECT_THAT(read().second, HasSubstr("waits: "));
    ::close(open);
}

// Commands that start at the same moment (a scan runs several) share one reading.
TEST_F(UntrustedFolderGitCacheTest, CommandsAskingAtOnceShareOneReading) {
    ASSERT_TRUE(repo.sh("git commit -q --allow-empty -m one"));
    std::this_thread::sleep_for(std::chrono::duration<double>(2 * settle));
    processes->hold();
    std::vector<std::thread> commands;
    std::atomic<int> running = 0;
    for (int command = 0; command < 3; ++command) {
        commands.emplace_back([&, command] {
            if (cache.read(*processes, base(std::to_string(command)))) {
                ++running;
            }
        });
    }
    processes->waitForLaunch();
    processes->release();
    for (auto& command : commands) {
        command.join();
    }
    EXPECT_EQ(running, 3);
    const int oneReading = processes->launches();
    EXPECT_EQ(read().first, 0);
    ASSERT_TRUE(repo.sh("git config core.abbrev 12"));
    EXPECT_EQ(read().first, oneReading);
}

// What git could not finish, what changed while it read, or values naming more paths than a stamp follows,
// is read again at the next command.
TEST_F(UntrustedFolderGitCacheTest, AReadingCutShortOrOverlappingAChangeIsNotKept) {
    ASSERT_TRUE(repo.sh("git commit -q --allow-empty -m one"));
    ProcessRequest late = base();
    late.timeout = 0;
    EXPECT_THAT(read(late).second, HasSubstr("in time"));
    EXPECT_GT(read().first, 0);

    UntrustedFolderGitCache unsettled(3600);
    EXPECT_TRUE(unsettled.read(*processes, base()));
    const int before = processes->launches();
    EXPECT_TRUE(unsettled.read(*processes, base()));
    EXPECT_GT(processes->launches(), before) << "the repository changed within the hour before";

    // Values of keys no rule knows that name more paths than a decision follows: it waits, and is kept.
    ASSERT_TRUE(
        repo.sh("seq " + std::to_string(UntrustedFolderGit::followedPathLimit + 1) +
                " | awk '{ printf \"[branch \\\"b%d\\\"]\\n\\tnotes = /usr/share/doc/n%d.md\\n\", $1, $1 }' "
                ">>.git/config"));
    for (int time = 0; time < 2; ++time) {
        const auto [launches, said] = read();
        EXPECT_EQ(launches > 0, time == 0);
        EXPECT_THAT(said, HasSubstr("names more than 1024 paths"));
    }
}

// A folder outside every repository, with a private HOME: `sh` runs a command there with its program
// m.sh, which leaves the marker, and the shell function `shape DIR`, which makes DIR what git takes for a
// git directory whose work tree is DIR itself and whose file-system monitor is m.sh.
class Place {
public:
    Place() {
        EXPECT_TRUE(
            sh("git config --global user.name T && git config --global user.email t@example.invalid "
               "&& printf '#!/bin/sh\\ntouch \"%s/marker\"\\nexit 1\\n' \"$PWD\" >m.sh && chmod +x m.sh"));
    }
    bool sh(const std::string& command) const {
        const std::string shape =
            "shape() { mkdir -p \"$1/objects/info\" \"$1/refs/heads\" && touch \"$1/objects/info/.keep\" "
            "\"$1/refs/heads/.keep\" && echo 'ref: refs/heads/main' >\"$1/HEAD\" && printf "
            "'[core]\\n\\trepositoryformatversion = 0\\n\\tbare = false\\n\\tworktree = .\\n\\tfsmonitor = "
            "%s/m.sh\\n' \"$T\" >\"$1/config\"; }; ";
        return std::system(("cd '" + root() + "' && T=\"$PWD\" && " + shape + command).c_str()) == 0;
    }
    std::string root() const { return dir_.path().string(); }
    std::string at(const std::string& relative) const { return (dir_.path() / relative).string(); }
    bool marked() const { return std::filesystem::exists(dir_.path() / "marker"); }

private:
    const test::ScopedEnv home_{"HOME", std::getenv("HOME")};
    const test::ScopedEnv noSystem_{"GIT_CONFIG_NOSYSTEM", std::getenv("GIT_CONFIG_NOSYSTEM")};
    const test::GitRepo settings_; // sets a private HOME
    const test::TempDir dir_;
};

// The repository `work` with the project folder `app`, cloned from `up.git` by an address over the
// network; the branch's commits p0, s1 (app gains HEAD, objects, refs and config as tracked files), p2,
// p3 and s4 (the same again) are in both, and `work` stands at p0. A git run beside `up.git` reaches it
// through `served`.
const std::string served = "-c url.\"$PWD/\".insteadOf=https://example.invalid/";
const std::string upstream =
    "git init -q --bare -b main up.git && git init -q -b main work && cd work && "
    "git remote add origin https://example.invalid/up.git && mkdir app && echo a >app/a.txt && "
    "git add -A && git commit -qm p0 && git tag p0 && shape app && git add -A && git commit -qm s1 && "
    "git tag s1 && git rm -rq app/HEAD app/objects app/refs app/config && git commit -qm p2 && git tag p2 && "
    "echo b >app/b.txt && git add -A && git commit -qm p3 && git tag p3 && shape app && git add -A && "
    "git commit -qm s4 && git tag s4 && cd .. && git -C work " +
    served + " push -q -u origin main --tags" + " && git -C work reset -q --hard p0 && ";

// After the decision to run a command was kept, the folder itself or a folder above it becomes what git
// takes for a git directory whose monitor is the folder's program: by `tar x` of a new release, a copy,
// or a second plain `git pull` that brings app/HEAD, app/objects, app/refs and app/config as tracked
// files into the project `app`. Plain git then runs the program; the same runner's next command waits.
TEST(UntrustedKeptDecisionTest, AFolderThatBecomesAGitDirectoryIsReadAgain) {
    struct Shape {
        const char* name;
        std::string folder; // where the command runs
        std::string change;
    };
    const std::vector<Shape> shapes = {
        {"the folder itself, by tar x of a new release", "one/tool",
         "cd one && mkdir new && shape new && tar cf new.tar -C new . && tar xf new.tar -C tool"},
        {"a folder above, by a copy", "two/tool/src",
         "cd two && mkdir new && shape new && cp -r new/. tool/"},
        {"the project app, by a second git pull", "three/work/app",
         "cd three && git -C up.git update-ref refs/heads/main s4 && git -C work " + served + " pull -q"},
    };
    const Place place;
    // The first pull leaves FETCH_HEAD and ORIG_HEAD in the git directory.
    ASSERT_TRUE(place.sh("mkdir -p one/tool/src two/tool/src three && cd three && " + upstream +
                         "git -C up.git update-ref refs/heads/main p3 && git -C work " + served +
                         " pull -q"));
    // Changes of the last two seconds may fall within a reading unseen: the decisions are kept only then.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    ShellCommandRunner runner(std::make_shared<LinuxProcessRunner>());
    const std::string command = "git status --short >/dev/null 2>&1; echo ran";
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const std::string folder = place.at(shape.folder);
        ASSERT_EQ(runner.run(command, folder, 20).output, "ran\n");
        ASSERT_TRUE(place.sh(shape.change));
        const auto again = runner.run(command, folder, 20);
        EXPECT_FALSE(place.marked());
        EXPECT_TRUE(again.waitingReason) << again.output;
        ASSERT_TRUE(place.sh("cd '" + folder + "' && git status >/dev/null 2>&1; test -e \"$T/marker\""))
            << "the program did not run under plain git";
        ASSERT_TRUE(place.sh("rm marker"));
    }
}

// Random sequences of ordinary changes (checkouts, resets and pulls that bring a git directory's shape
// into the project `app` or take it away, a release unpacked again, a git directory's shape unpacked or
// copied into a folder or one above, a `.git` file, a repository or a `.git` folder git takes for none made
// there and a link into /proc made in it, links switched, among them one on the way to the path a tool's
// key names, the user's safe.bareRepository): after each,
// the decision the cache keeps for each folder equals a fresh reading of it. KORVANE_KEPT_SEED replays a
// sequence.
TEST(UntrustedKeptDecisionTest, KeptDecisionsEqualFreshReadings) {
    constexpr int steps = 24;
    const char* replay = std::getenv("KORVANE_KEPT_SEED");
    const unsigned seed =
        replay != nullptr ? static_cast<unsigned>(std::stoul(replay)) : std::random_device{}();
    std::mt19937 random(seed);
    const Place place;
    ASSERT_TRUE(place.sh(upstream +
                         "mkdir -p rel/src && echo x >rel/src/x.c && tar cf rel.tar rel && "
                         "mkdir new && shape new && tar cf shape.tar -C new . && "
                         "git init -q --bare evil.git && git -C evil.git config core.bare false && "
                         "git -C evil.git config core.fsmonitor \"$T/m.sh\" && "
                         "echo \"gitdir: $T/evil.git\" >gitfile && ln -s work/app cur && "
                         "git -C work config gh.notes \"$T/cur/notes.md\""));
    const auto pick = [&](const std::vector<std::string>& among) {
        return among[std::uniform_int_distribution<std::size_t>(0, among.size() - 1)(random)];
    };
    const std::vector<std::string> commits = {"p0", "s1", "p2", "p3", "s4"};
    const std::vector<std::string> branches = {"main", "side"};
    const std::vector<std::string> levels = {".", "rel", "rel/src", "work/app"};
    const std::vector<std::string> plainLevels = {".", "rel", "rel/src"};
    const std::vector<std::string> targets = {"work/app", "rel/src", "rel"};
    const std::vector<std::function<std::string()>> changes = {
        [&] { return "git -C work reset -q --hard " + pick(commits); },
        [&] { return "git -C up.git update-ref refs/heads/main " + pick(commits); },
        [&] { return "git -C work " + served + " pull -q --ff-only"; },
        [&] { return "git -C work checkout -qf -B " + pick(branches) + " " + pick(commits); },
        [&] { return "tar xf shape.tar -C " + pick(levels); },
        [&] { return std::string("tar xf rel.tar"); },
        [&] { return "cp -r new/. " + pick(levels) + "/"; },
        [&] { return "cp gitfile " + pick(plainLevels) + "/.git"; },
        [&] { return "git init -q " + pick(plainLevels); },
        [&] { return "mkdir -p " + pick(plainLevels) + "/.git"; },
        [&] { return "ln -sfn /proc/self/cwd " + pick(plainLevels) + "/.git/elsewhere"; },
        [&] {
            const std::string level = pick(levels);
            return "rm -rf " + level + "/HEAD " + level + "/objects " + level + "/refs " + level +
                   "/config " + (level == "work/app" ? "" : level + "/.git");
        },
        [&] { return "ln -sfn " + pick(targets) + " cur"; },
        [&] { return std::string("git config --global safe.bareRepository explicit"); },
        [&] { return std::string("git config --global --unset safe.bareRepository"); },
    };
    const auto request = [](const std::string& folder) {
        ProcessRequest request;
        request.executable = "/usr/bin/git";
        request.workingDirectory = folder;
        request.timeout = 10;
        return request;
    };
    UntrustedFolderGitCache cache(0);
    test::CountingProcessRunner kept;
    LinuxProcessRunner fresh;
    std::string history;
    int keptAnswers = 0;
    for (int step = 0; step <= steps; ++step) {
        if (step > 0) {
            const std::string change =
                changes[std::uniform_int_distribution<std::size_t>(0, changes.size() - 1)(random)]();
            history += "\n  " + change;
            place.sh("{ " + change + "; } >/dev/null 2>&1");
        }
        for (const char* folder : {"work/app", "rel/src", "rel", "cur"}) {
            const int before = kept.launches();
            const std::string keptSaid = described(cache.read(kept, request(place.at(folder))));
            keptAnswers += kept.launches() == before ? 1 : 0;
            const std::string freshSaid =
                described(UntrustedFolderGit::read(fresh, request(place.at(folder))));
            if (keptSaid != freshSaid) {
                ADD_FAILURE() << "seed " << seed << " (KORVANE_KEPT_SEED replays it), in " << folder
                              << " after:" << history << "\nkept:  " << keptSaid << "\nfresh: " << freshSaid;
                return;
            }
        }
    }
    EXPECT_GT(keptAnswers, steps) << "seed " << seed << ": too few decisions kept to compare";
}

} // namespace
} // namespace korvane
