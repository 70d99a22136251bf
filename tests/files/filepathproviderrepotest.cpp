// The file list of a real repository, looked at again when its project becomes current or a session
// begins, within the 30 s an index is otherwise served as it is: what was made or committed since is
// offered, by name and among the recent files, and an unchanged project is not listed again.
#include "files/filepathprovider.h"
#include "files/gitcommandrunner.h"
#include "files/projectstatestamp.h"
#include "gitrepo.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/manualworkerpool.h"
#include "platform/linux/inotifytreewatchsource.h"
#include "platform/linux/linuxprocessrunner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>
#include <utility>

namespace korvane {
namespace {

using ::testing::Contains;
using ::testing::Not;
using Paths = std::vector<std::string>;

// A repository with a listed folder, an ignored one, a file git's own exclude file hides and folders that
// hold no listed file (an empty one with 101 others nested in it, one holding only ignored files), and a
// provider over it whose listings are counted; every time below the repository lies an hour back, so that
// a listing made now is settled.
class Project {
public:
    Project() {
        setenv("LANG", "C", 1);
        setenv("LC_ALL", "C", 1);
        repo.write("src/main.c", "int main;");
        repo.write("README.md", "read me");
        repo.write(".gitignore", "vendor/\n*.log\n");
        repo.write("vendor/fresh_lib.c", "lib");
        repo.write("vendor/deep/lib.c", "lib");
        repo.write("logs/old.log", "log");
        EXPECT_TRUE(repo.sh("mkdir -p drafts/2025 && cd drafts && mkdir $(seq 100)"));
        EXPECT_TRUE(repo.sh("git add -A && git commit -qm one"));
        repo.write(".git/info/exclude", "*_local.c\n");
        repo.write("src/fresh_local.c", "local");
        const auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(repo.path())) {
            std::filesystem::last_write_time(entry.path(), past);
        }
        std::filesystem::last_write_time(repo.path(), past);
    }

    Paths labels(const std::string& query) {
        Paths found;
        for (const auto& result : provider->search(query, root(), false)) {
            found.push_back(result.snippet->label);
        }
        return found;
    }
    std::string root() const { return repo.root(); }

    FakeClock clock;
    ManualWorkerPool workers;
    test::GitRepo repo;
    std::atomic<int> listings = 0;
    // Run once, right after the next listing.
    std::function<void()> duringListing;
    std::shared_ptr<FilePathProvider> provider = FilePathProvider::create(
        clock, runner(), workers, nullptr, std::make_shared<InotifyTreeWatchSource>());

private:
    // git itself, counting the listings.
    CommandRunner runner() {
        return [this, git = GitCommandRunner(std::make_shared<LinuxProcessRunner>()).commandRunner()](
                   const Paths& arguments, const std::string& directory, double timeout) {
            auto lines = git(arguments, directory, timeout);
            // Not the question which folders hold no listed file.
            if (arguments[0] == "ls-files" &&
                std::find(arguments.begin(), arguments.end(), "--directory") == arguments.end()) {
                ++listings;
                if (duringListing) {
                    std::exchange(duringListing, nullptr)();
                }
            }
            return lines;
        };
    }
};

struct Change {
    const char* what;
    const char* path;
    const char* command;
    // Offered once the project is looked at again, and how often it has been listed by then.
    bool offered = true;
    int listings = 2;
};

const Change changes[] = {
    {"a file made in a listed folder", "src/fresh_parser.c", "echo x > src/fresh_parser.c"},
    {"a file made in a new folder", "notes/fresh_plan.md", "mkdir notes && echo x > notes/fresh_plan.md"},
    {"a file made and committed", "src/fresh_commit.c",
     "echo x > src/fresh_commit.c && git add src/fresh_commit.c && git commit -qm two"},
    {"a file of an ignored folder committed", "vendor/fresh_lib.c",
     "git add -f vendor/fresh_lib.c && git commit -qm lib"},
    {"a file let in by git's own exclude file", "src/fresh_local.c", "printf '' > .git/info/exclude"},
    {"a file made in a folder that was empty", "drafts/fresh_idea.md", "echo x > drafts/fresh_idea.md"},
    {"a file made in a folder nested in an empty one", "drafts/2025/fresh_plan.md",
     "echo x > drafts/2025/fresh_plan.md"},
    {"a file made in a folder holding only ignored files", "logs/fresh_notes.md", "echo x > logs/fresh_notes.md"},
    // An ignored folder is neither read nor watched; one that holds only ignored files is.
    {"a file made in an ignored folder", "vendor/deep/fresh_other.c", "echo x > vendor/deep/fresh_other.c", false,
     1},
    {"an ignored file made in a folder holding only ignored files", "logs/fresh.log", "echo x > logs/fresh.log",
     false},
};

// How the project is looked at again: it became current (window switch or `cd`), or a session began.
struct Look {
    const char* what;
    void (*run)(Project&);
};

const Look looks[] = {
    {"the project became current", [](Project& project) { project.provider->prewarm(project.root()); }},
    {"a session began",
     [](Project& project) {
         project.provider->checkForChanges(project.root());
         project.workers.runAll();
     }},
};

TEST(FilePathProviderRepoTest, WhatChangedSinceTheListingIsOfferedAtOnceAndNothingElseIsListed) {
    for (const auto& look : looks) {
        for (const auto& change : changes) {
            SCOPED_TRACE(std::string(look.what) + ", " + change.what);
            Project project;
            // The index and the recent files, as the first query after the project became current made them.
            project.labels("");
            project.workers.runAll();
            ASSERT_EQ(project.listings, 1);
            const std::uint64_t read = ProjectStateStamp::entriesRead();
            look.run(project);
            EXPECT_EQ(project.listings, 1) << "nothing changed, yet git listed again";
            EXPECT_EQ(ProjectStateStamp::entriesRead(), read) << "nothing changed, yet its folders were read";

            ASSERT_TRUE(project.repo.sh(change.command));
            look.run(project);
            EXPECT_EQ(project.listings, change.listings);
            if (!change.offered) {
                EXPECT_THAT(project.labels("fresh"), Not(Contains(change.path)));
                continue;
            }
            EXPECT_THAT(project.labels("fresh"), Contains(change.path));
            EXPECT_THAT(project.labels(""), Contains(change.path)) << "the recent files were not made again";
        }
    }
}

// git took longer than the time a change needs to settle, and a file was made while it listed: the
// listing does not hold it, and the project is listed again at the next look.
TEST(FilePathProviderRepoTest, AFileMadeDuringASlowListingIsListedAtTheNextLook) {
    Project project;
    project.duringListing = [&] {
        project.repo.write("src/fresh_during.c", "x");
        std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    };
    project.labels("");
    ASSERT_THAT(project.labels("fresh"), Not(Contains("src/fresh_during.c")));
    project.provider->prewarm(project.root());
    EXPECT_THAT(project.labels("fresh"), Contains("src/fresh_during.c"));
}

} // namespace
} // namespace korvane
