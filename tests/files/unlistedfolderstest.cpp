#include "files/unlistedfolders.h"

#include "files/gitcommandrunner.h"
#include "gitrepo.h"
#include "platform/linux/linuxprocessrunner.h"
#include "support/tempdir.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

// A listing's judge that leaves out the folders whose names start with "ignored", and counts its runs.
struct IgnoringJudge {
    int runs = 0;
    UnlistedFolders::Judge judge() {
        return [this](const Paths& candidates, bool) -> std::optional<Paths> {
            ++runs;
            Paths taken;
            std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(taken),
                         [](const std::string& path) {
                             return !fs::path(path).filename().string().starts_with("ignored");
                         });
            return taken;
        };
    }
};

// The plain answer: every folder the judge does not leave out (nor any above it) that holds no listed
// path, at most levelLimit levels below the nearest folder that does.
std::set<std::string> reference(const fs::path& root, const Paths& listed) {
    std::set<std::string> holding{""};
    for (const std::string& path : listed) {
        for (fs::path folder = fs::path(path).parent_path(); !folder.empty(); folder = folder.parent_path()) {
            holding.insert(folder.string());
        }
    }
    std::set<std::string> expected;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        if (!it->is_directory() || name == ".git" || name.starts_with("ignored")) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::path relative = fs::relative(it->path(), root);
        std::size_t levels = 0;
        for (fs::path folder = relative; !holding.contains(folder.string()); folder = folder.parent_path()) {
            ++levels;
        }
        if (levels > 0 && levels <= UnlistedFolders::levelLimit) {
            expected.insert(relative.string());
        }
    }
    return expected;
}

// Random trees of folders, some holding files, some empty, some left out by the listing: the folders
// found are the plain answer's, each after the folder holding it, and no listed folder is read unless it
// holds a folder that holds no listed file.
TEST(UnlistedFoldersTest, FindsWhatAPlainWalkFindsAndEntersNoFolderTheListingLeavesOut) {
    std::mt19937 random(70);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        test::TempDir dir;
        const fs::path root = dir.path();
        fs::create_directories(root / ".git/refs");
        Paths listed;
        std::vector<fs::path> folders{root};
        for (int i = 0; i < 30; ++i) {
            const fs::path parent = folders[random() % folders.size()];
            const int kind = static_cast<int>(random() % 6);
            const std::string name = (kind == 0 ? "ignored" : "f") + std::to_string(i);
            fs::create_directories(parent / name);
            folders.push_back(parent / name);
            const bool underIgnored =
                fs::relative(parent / name, root).string().find("ignored") != std::string::npos;
            if (kind >= 4) {
                dir.write(fs::relative(parent / name / "file.txt", root).string(), "");
                if (!underIgnored) {
                    listed.push_back(fs::relative(parent / name / "file.txt", root).string());
                }
            }
        }
        std::sort(listed.begin(), listed.end());
        const PathList paths(listed);
        IgnoringJudge judge;
        const auto entries = ProjectStateStamp::treeEntries(paths);
        Paths found;
        std::vector<std::string> read;
        ProjectStateStamp::take(root.string(), entries, std::chrono::system_clock::now(),
                                [&](const std::vector<std::string_view>& roomy) {
                                    read.assign(roomy.begin(), roomy.end());
                                    found = UnlistedFolders::find(root.string(), paths, entries, roomy,
                                                                  judge.judge());
                                    return std::vector<std::string_view>(found.begin(), found.end());
                                });
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()), reference(root, listed));
        // Only folders holding a folder that holds no listed file are read (and the root, for `.git`).
        for (const std::string& folder : read) {
            const bool holdsOther =
                std::any_of(fs::directory_iterator(root / folder), fs::directory_iterator(),
                            [&](const fs::directory_entry& entry) {
                                const std::string path = fs::relative(entry.path(), root).string();
                                return entry.is_directory() &&
                                       std::find(entries.folders.begin(), entries.folders.end(), path) ==
                                           entries.folders.end();
                            });
            EXPECT_TRUE(holdsOther) << "read for nothing: " << folder;
        }
        EXPECT_EQ(std::set<std::string>(found.begin(), found.end()).size(), found.size()) << "found twice";
        for (std::size_t i = 0; i < found.size(); ++i) {
            const std::string parent = fs::path(found[i]).parent_path().string();
            const auto at = std::find(found.begin(), found.end(), parent);
            EXPECT_TRUE(at == found.end() || at < found.begin() + static_cast<std::ptrdiff_t>(i)) << found[i];
        }
        EXPECT_LE(judge.runs, static_cast<int>(UnlistedFolders::levelLimit));
    }
}

// git's judgement: the untracked folders it prints as folders of their own among those asked about;
// the whole tree once there are too many to name.
TEST(UnlistedFoldersTest, GitJudgesTheCandidatesItIsAskedAboutOrTheWholeTree) {
    test::GitRepo repo;
    repo.write(".gitignore", "vendor/\n");
    Paths many{"drafts", "vendor", "logs", "entwürfe", "shelf/vendor"};
    for (std::size_t i = 0; i <= UnlistedFolders::candidateLimit; ++i) {
        many.push_back("shelf/folder" + std::to_string(i));
    }
    std::for_each(many.begin(), many.end(),
                  [&](const std::string& f) { fs::create_directories(repo.path() / f); });
    const CommandRunner real = GitCommandRunner(std::make_shared<LinuxProcessRunner>()).commandRunner();
    std::vector<Paths> asked;
    const CommandRunner git = [&](const Paths& arguments, const std::string&, double) -> GitOutput {
        asked.push_back(arguments);
        return real(arguments, repo.root(), 5);
    };
    const auto judge = UnlistedFolders::gitJudge(git, repo.root(), 5);
    EXPECT_EQ(judge({"drafts", "vendor", "logs"}, false), (Paths{"drafts", "logs"}));
    EXPECT_THAT(asked.back(),
                testing::ElementsAre("ls-files", "--others", "--directory", "--exclude-standard", "--",
                                     ":(literal)drafts/", ":(literal)vendor/", ":(literal)logs/"));
    std::sort(many.begin(), many.end());
    const auto taken = judge(many, false);
    std::erase_if(many, [](const std::string& folder) { return folder.ends_with("vendor"); });
    EXPECT_EQ(taken, many);
    EXPECT_EQ(asked.size(), 4U) << "the whole tree, then 64 folders named at a time";
    const CommandRunner failing = [](const Paths&, const std::string&, double) -> GitOutput {
        return GitOutput::none(GitFailure::timedOut);
    };
    EXPECT_EQ(UnlistedFolders::gitJudge(failing, "/p", 5)({"drafts"}, false), std::nullopt);
}

} // namespace
} // namespace korvane
