#include "gitguard/untrustedfoldergitcache.h"

#include "files/gitrepo.h"
#include "support/countingprocessrunner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace korvane {
namespace {

using ::testing::HasSubstr;

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
        const auto decision = cache.read(*processes, request);
        std::string said = decision ? "runs" : "waits: " + decision.error();
        if (decision) {
            for (const auto& [key, value] : decision->settings()) {
                said += " " + key + "=" + value;
            }
        }
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

// What git could not finish, or what changed while it read, is read again at the next command.
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
}

} // namespace
} // namespace korvane
