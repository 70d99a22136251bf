#include "providers/filescanner.h"

#include "config/configloader.h"
#include "files/filepathindexbuilder.h"
#include "files/gitlsfilesbroker.h"
#include "files/gitrepo.h"
#include "files/gitscanlister.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/maketargetprovider.h"
#include "providers/npmscriptprovider.h"
#include "providers/projectdocextractor.h"
#include "providers/projectproviderfactories.h"
#include "providers/skillextractor.h"
#include "support/tempdir.h"

#include <fstream>
#include <gmock/gmock.h>
#include <mutex>
#include <sys/stat.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAre;
using testing::UnorderedElementsAreArray;

// Claims every name and answers with one snippet whose id is the offered relative path.
class RecordingExtractor final : public FileExtractor {
public:
    SnippetSource source() const override { return SnippetSource::filePath(); }
    bool matches(std::string_view, std::string_view relativePath) const override {
        std::lock_guard guard(lock_);
        lastRelative_ = relativePath;
        return true;
    }
    std::vector<Snippet> extract(const fs::path& file) const override {
        std::lock_guard guard(lock_);
        Snippet snippet;
        snippet.id = lastRelative_;
        snippet.metadata = std::map<std::string, std::string>{{"filePath", file.string()}};
        return {snippet};
    }

private:
    mutable std::mutex lock_;
    mutable std::string lastRelative_;
};

std::vector<std::string> ids(const std::vector<Snippet>& snippets) {
    std::vector<std::string> result;
    for (const auto& snippet : snippets) {
        result.push_back(snippet.id);
    }
    return result;
}

// Puts HOME back after a test repository has pointed it at a folder of its own.
class HomeRestorer {
public:
    ~HomeRestorer() { setenv("HOME", saved_.c_str(), 1); }

private:
    std::string saved_ = getenv("HOME");
};

FileScanner recordingScanner(std::int64_t depth, FileScanner::GitLister lister = {},
                             std::size_t budget = FileScanner::defaultWalkBudget) {
    return FileScanner({std::make_shared<RecordingExtractor>()}, {"node_modules"}, depth, std::move(lister), budget);
}

// The listings the scans of these tests leave for the file index.
const std::shared_ptr<GitLsFilesBroker>& listings() {
    static const auto broker = std::make_shared<GitLsFilesBroker>(SystemClock::shared());
    return broker;
}

FileScanner::GitLister realGit() {
    return GitScanLister(std::make_shared<LinuxProcessRunner>(), listings()).lister();
}

void makeFifo(const fs::path& path) {
    fs::create_directories(path.parent_path());
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0) << path;
}

void makeSparse(const fs::path& path, std::uintmax_t size) {
    fs::create_directories(path.parent_path());
    { std::ofstream create(path); }
    fs::resize_file(path, size);
}

TEST(FileScannerWalkTest, PrunesNeverWalkedIgnoredAndDeepDirectoriesAndSkipsLinksAndLargeFiles) {
    test::TempDir root;
    for (const char* file : {"top.txt", "build", ".claude/skills/x/SKILL.md", ".ssh/id", ".cache/c", ".git/config",
                             "node_modules/m.js", "a/b/c/deep.txt", "a/b/c/d/deeper.txt"}) {
        root.write(file, "x");
    }
    root.write("exact.md", std::string(FileScanner::sizeLimit, 'x'));
    root.write("big.md", std::string(FileScanner::sizeLimit + 1, 'x'));
    root.write("\xff.txt", "not UTF-8");
    fs::create_directory_symlink(root.path() / "a", root.path() / "link");
    fs::create_symlink(root.path() / "top.txt", root.path() / "linkfile");

    const struct {
        std::int64_t depth;
        std::vector<std::string> offered;
    } cases[] = {
        {0, {}},
        {1, {"top.txt", "build", "exact.md"}},
        {3, {"top.txt", "build", "exact.md"}},
        {4, {"top.txt", "build", "exact.md", ".claude/skills/x/SKILL.md", "a/b/c/deep.txt"}},
        {9, {"top.txt", "build", "exact.md", ".claude/skills/x/SKILL.md", "a/b/c/deep.txt", "a/b/c/d/deeper.txt"}},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(ids(recordingScanner(c.depth).scan(root.path().string())), UnorderedElementsAreArray(c.offered))
            << "depth " << c.depth;
    }
}

TEST(FileScannerWalkTest, StopsAtItsBudget) {
    test::TempDir root;
    for (int i = 0; i < 20; ++i) {
        root.write("f" + std::to_string(i), "x");
    }
    EXPECT_EQ(recordingScanner(5, {}, 7).scan(root.path().string()).size(), 7u);
    EXPECT_EQ(recordingScanner(5, {}, 20).scan(root.path().string() + "/").size(), 20u);
}

TEST(FileScannerWalkTest, RootsWithoutTheirOwnGitOrWhereGitFailsAreWalked) {
    test::TempDir home;
    home.write("repo/.git", "gitdir: /nonexistent");
    home.write("repo/README.md", "x");
    home.write("repo/node_modules/README.md", "x");
    home.write("repo/sub/README.md", "x");
    int listed = 0;
    auto failing = [&](const std::string&) {
        ++listed;
        return std::optional<std::vector<std::string>>();
    };
    EXPECT_THAT(ids(recordingScanner(5, failing).scan((home.path() / "repo").string())),
                UnorderedElementsAre("README.md", ".git", "sub/README.md"));
    EXPECT_EQ(listed, 1);
    EXPECT_THAT(ids(recordingScanner(5, failing).scan((home.path() / "repo/sub").string())), ElementsAre("README.md"));
    EXPECT_EQ(listed, 1);
    EXPECT_THAT(recordingScanner(5).scan((home.path() / "missing").string()), IsEmpty());
}

TEST(FileScannerGitTest, ListsRealPathsOffersEnvironmentFilesAndSeedsTheBroker) {
    HomeRestorer restorer;
    test::GitRepo repo;
    const std::string odd = "a b\"\xc3\xa9";
    repo.write(".gitignore", ".env\nignored.md\n");
    repo.write(".env", "K=1");
    repo.write(".env.example", "K=");
    repo.write("ignored.md", "x");
    repo.write("node_modules/x/README.md", "x");
    repo.write("d1/d2/d3/d4/d5/d6/deep.md", "x");
    repo.write(".claude/skills/" + odd + "/SKILL.md", "---\nname: odd\n---\n");
    repo.write(odd + ".md", "x");
    repo.write("bad\xff.md", "x");
    repo.write("tab\tname.md", "x");
    ASSERT_TRUE(repo.sh("git add .gitignore node_modules d1 && git commit -qm init"));

    const auto offered = ids(recordingScanner(2, realGit()).scan(repo.root()));
    EXPECT_THAT(offered, UnorderedElementsAre(".gitignore", "node_modules/x/README.md", "d1/d2/d3/d4/d5/d6/deep.md",
                                              ".env.example", ".claude/skills/" + odd + "/SKILL.md", odd + ".md",
                                              ".env"));
    EXPECT_EQ(offered.back(), ".env");

    // The index takes the listing as git printed it and decodes it the same way.
    auto seed = listings()->consume(repo.root(), 60);
    ASSERT_TRUE(seed.has_value());
    EXPECT_THAT(seed->first, testing::Contains("\".claude/skills/a b\\\"\\303\\251/SKILL.md\""));
    auto decoded = FilePathIndexBuilder::decodeListing(seed->first);
    decoded.push_back(".env");
    EXPECT_THAT(decoded, UnorderedElementsAreArray(offered));

    const FileScanner skills({std::make_shared<SkillExtractor>()}, {}, 5, realGit());
    const auto found = skills.scan(repo.root());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].id, "skill:odd");
    EXPECT_EQ(found[0].metadata->at("filePath"), repo.root() + "/.claude/skills/" + odd + "/SKILL.md");
}

// A repository can commit links to files of the user's: none of them is read as the project's own, by
// the scan (git listing or walk), the script and target providers or the project file loader.
TEST(ProjectFilesTest, NothingIsReadThroughALinkThatLeavesTheProject) {
    HomeRestorer restorer;
    test::GitRepo repo;
    test::TempDir outside;
    const auto secret = outside.write("credentials", "# aws_secret_access_key=SECRET\n");
    const auto scripts = outside.write("package.json", R"({"scripts": {"leak": "x"}})");
    const auto targets = outside.write("Makefile", "leak:\n\ttrue\n");
    const auto config = outside.write("korvane.json", R"({"snippets": [{"key": "leak", "expand": "x"}]})");
    fs::create_directories(repo.path() / "docs");
    fs::create_symlink(secret, repo.path() / "CLAUDE.md");
    fs::create_symlink(outside.path(), repo.path() / "docs/linked");
    fs::create_symlink(scripts, repo.path() / "package.json");
    fs::create_symlink(targets, repo.path() / "Makefile");
    fs::create_symlink(config, repo.path() / ".korvane.json");
    repo.write("AGENTS.md", "# Inside\n");
    repo.write("README.md", "# Also inside\n");
    fs::create_symlink(repo.path() / "README.md", repo.path() / "docs/readme-link.md");
    ASSERT_TRUE(repo.sh("git add -A && git commit -qm links"));

    const FileScanner docs({std::make_shared<ProjectDocExtractor>()}, {}, 5, realGit());
    const FileScanner walked({std::make_shared<ProjectDocExtractor>()}, {}, 5);
    for (const auto& found : {docs.scan(repo.root()), walked.scan(repo.root())}) {
        std::string offered;
        for (const auto& snippet : found) {
            offered += snippet.label + "=" + snippet.description.value_or("") + ";";
        }
        EXPECT_EQ(offered.find("SECRET"), std::string::npos) << offered;
        EXPECT_NE(offered.find("Inside"), std::string::npos) << offered;
    }
    EXPECT_TRUE(NpmScriptProvider().snippets(repo.root()).empty());
    EXPECT_TRUE(MakeTargetProvider().snippets(repo.root()).empty());
    ConfigLoader loader(outside.path() / "config");
    EXPECT_EQ(loader.loadProjectConfig(repo.root()), std::nullopt);
    EXPECT_THAT(loader.lastProjectParseError().value_or(""), testing::HasSubstr("leads outside the project"));

    // The same files inside the project are read as before; a project file over 1 MiB is refused unread.
    fs::remove(repo.path() / "package.json");
    fs::copy_file(scripts, repo.path() / "package.json");
    EXPECT_EQ(NpmScriptProvider().snippets(repo.root()).size(), 1u);
    fs::remove(repo.path() / ".korvane.json");
    repo.write(".korvane.json",
               R"({"snippets": [{"key": "big", "expand": ")" + std::string(1 << 20, 'x') + R"("}]})");
    EXPECT_EQ(loader.loadProjectConfig(repo.root()), std::nullopt);
    EXPECT_THAT(loader.lastProjectParseError().value_or(""), testing::HasSubstr("larger than 1 MiB"));
}

TEST(FileScannerGitTest, WhenGitFailsNoListingIsLeftAndTheTreeIsWalked) {
    test::TempDir root;
    root.write(".git", "gitdir: /nonexistent");
    root.write("README.md", "x");
    root.write("node_modules/README.md", "x");
    EXPECT_THAT(ids(recordingScanner(5, realGit()).scan(root.path().string())), UnorderedElementsAre(".git", "README.md"));
    EXPECT_FALSE(listings()->consume(root.path().string(), 60).has_value());
}

TEST(FileScannerGitTest, AnEmptyListingMeansNoWalk) {
    test::TempDir root;
    root.write(".git/HEAD", "x");
    root.write("README.md", "x");
    root.write(".env", "x");
    auto empty = [](const std::string&) { return std::optional<std::vector<std::string>>(std::vector<std::string>{}); };
    EXPECT_THAT(ids(recordingScanner(5, empty).scan(root.path().string())), ElementsAre(".env"));
}

// Special files named like documents, skills and make files must neither hang a scan nor be read
// whole: each is left out, and everything else is found as usual.
TEST(FileScannerGuardTest, SpecialFilesAreNeverHandedToExtractors) {
    HomeRestorer restorer;
    test::GitRepo repo;
    const fs::path root = repo.path();
    fs::create_symlink("/dev/zero", root / "README.md");
    makeFifo(root / "fifo");
    fs::create_symlink(root / "fifo", root / "CLAUDE.md");
    makeSparse(root / "AGENTS.md", 2ull << 30);
    repo.write("Readme.md", "# Real readme");
    repo.write(".claude/skills/good/SKILL.md", "---\nname: good\n---\n");
    fs::create_directories(root / ".claude/skills/zero");
    fs::create_symlink("/dev/zero", root / ".claude/skills/zero/SKILL.md");
    ASSERT_TRUE(repo.sh("git add README.md CLAUDE.md Readme.md .claude && git commit -qm init"));

    const auto extractors = makeFileExtractors({SnippetSource::claudeSkill(), SnippetSource::aiDoc()});
    const FileScanner gitScanner(extractors, {}, 5, realGit());
    auto found = gitScanner.scan(repo.root());
    ASSERT_THAT(ids(found), UnorderedElementsAre("skill:good", "aidoc:readme.md"));

    // The same tree without git: a FIFO named like a skill is met by the walk itself.
    fs::remove_all(root / ".git");
    makeFifo(root / ".claude/skills/fifo/SKILL.md");
    found = FileScanner(extractors, {}, 5).scan(repo.root());
    EXPECT_THAT(ids(found), UnorderedElementsAre("skill:good", "aidoc:readme.md"));
    for (const auto& snippet : found) {
        EXPECT_NE(snippet.metadata->at("filePath"), (root / "README.md").string());
    }
}

} // namespace
} // namespace korvane
