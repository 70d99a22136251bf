#include "files/projectstatestamp.h"

#include "support/tempdir.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// What a project's sources stand on moves when its repository goes, comes anew or can no longer be
// read, and stays as it was through the work done inside them (a commit, a branch, a new file).
TEST(ProjectStateStampTest, TheAccessStampMovesOnlyWhenTheRepositoryOrTheFolderGoesOrCloses) {
    const struct {
        const char* name;
        std::function<void(const fs::path&)> change;
        bool moves;
    } cases[] = {
        {"nothing", [](const fs::path&) {}, false},
        {"a new file", [](const fs::path& root) { std::ofstream(root / "new.txt") << "x"; }, false},
        {"a commit", [](const fs::path& root) { std::ofstream(root / ".git/HEAD") << "ref: refs/heads/other\n"; },
         false},
        {"a branch",
         [](const fs::path& root) {
             fs::create_directories(root / ".git/refs/heads");
             std::ofstream(root / ".git/refs/heads/feature") << "0123\n";
         },
         false},
        {"the repository removed", [](const fs::path& root) { fs::remove_all(root / ".git"); }, true},
        {"the repository made anew",
         [](const fs::path& root) {
             fs::remove_all(root / ".git");
             fs::create_directories(root / ".git");
         },
         true},
        {"a worktree's pointer in its place",
         [](const fs::path& root) {
             fs::remove_all(root / ".git");
             fs::create_directories(root / "elsewhere");
             std::ofstream(root / ".git") << "gitdir: " << (root / "elsewhere").string() << "\n";
         },
         true},
        {"the repository closed",
         [](const fs::path& root) { fs::permissions(root / ".git", fs::perms::none); }, true},
        {"the folder closed", [](const fs::path& root) { fs::permissions(root, fs::perms::owner_write); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool closes = std::string(c.name).ends_with("closed");
        if (closes && ::geteuid() == 0) {
            continue; // the superuser reads every folder
        }
        test::TempDir dir;
        const fs::path root = dir.path() / "project";
        dir.write("project/.git/HEAD", "ref: refs/heads/main\n");
        dir.write("project/src/main.c", "int main;\n");
        const std::uint64_t before = ProjectStateStamp::takeAccess(root.string());
        c.change(root);
        EXPECT_EQ(ProjectStateStamp::takeAccess(root.string()) != before, c.moves);
        fs::permissions(root, fs::perms::owner_all);
        if (fs::exists(root / ".git")) {
            fs::permissions(root / ".git", fs::perms::owner_all);
        }
    }
}

} // namespace
} // namespace korvane
