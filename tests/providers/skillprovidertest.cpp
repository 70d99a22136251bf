#include "providers/globalskilldiscovery.h"
#include "providers/globalskillprovider.h"
#include "providers/skillextractor.h"

#include "support/tempdir.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::IsEmpty;

TEST(SkillExtractorTest, ClaimsSkillFilesBelowSkillFolders) {
    const struct {
        const char* name;
        const char* relative;
        bool claimed;
    } cases[] = {
        {"SKILL.md", ".claude/skills/x/SKILL.md", true},
        {"SKILL.md", "docs/agents/skills/x/SKILL.md", true},
        {"SKILL.md", "a/.agents/skills/x/SKILL.md", true},
        {"SKILL.md", ".codex/skills/SKILL.md", true},
        {"SKILL.md", "docs/skills/x/SKILL.md", false},
        {"skill.md", ".claude/skills/x/skill.md", false},
        {"SKILL.md", ".Claude/skills/x/SKILL.md", false},
    };
    const SkillExtractor extractor;
    for (const auto& c : cases) {
        EXPECT_EQ(extractor.matches(c.name, c.relative), c.claimed) << c.relative;
    }
}

TEST(SkillExtractorTest, ReadsNameAndDescriptionFromTheFrontMatterElseNamesTheSkillAfterItsFolder) {
    const struct {
        const char* folder;
        std::string text;
        std::optional<std::string> id;
        std::optional<std::string> description;
        bool hasPath;
    } cases[] = {
        {"x", "---\nname: review\ndescription: Reviews code\n---\nname: later\n", "skill:review", "Reviews code", true},
        {"x", "---\nname: \"my  skill\"\ndescription: 'quoted'\n", "skill:my  skill", "quoted", true},
        {"x", "  ---  \r\n\tname:\tfirst\r\nname: second\r\n---", "skill:second", std::nullopt, true},
        {"x", "---\nname:\ndescription: d\n---\n", "skill:x", std::nullopt, false},
        {"x", "---\nname: a\nname: \"\"\n---\n", "skill:x", std::nullopt, false},
        {"x", "# no front matter\nname: a\n", "skill:x", std::nullopt, false},
        {"x", "", "skill:x", std::nullopt, false},
        {"x", "---\nName: a\n", "skill:x", std::nullopt, false},
        {"x", "---\xe2\x80\xa8name: sep\n", "skill:sep", std::nullopt, true},
        {"skills", "no front matter", std::nullopt, std::nullopt, false},
        {"claude", "---\n---\n", std::nullopt, std::nullopt, false},
        {"skills", "---\nname: named\n", "skill:named", std::nullopt, true},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const auto file = dir.write(std::string(c.folder) + "/SKILL.md", c.text);
        const auto snippets = SkillExtractor().extract(file);
        if (!c.id) {
            EXPECT_THAT(snippets, IsEmpty()) << c.text;
            continue;
        }
        ASSERT_EQ(snippets.size(), 1u) << c.text;
        const Snippet& s = snippets[0];
        EXPECT_EQ(s.id, *c.id) << c.text;
        EXPECT_EQ("skill:" + s.label, s.id);
        EXPECT_EQ(s.expansion, s.label);
        EXPECT_EQ(s.source, SnippetSource::claudeSkill());
        EXPECT_EQ(s.description, c.description) << c.text;
        EXPECT_EQ(s.metadata.has_value(), c.hasPath) << c.text;
        if (c.hasPath) {
            EXPECT_EQ(s.metadata->at("filePath"), file.string());
        }
    }
}

TEST(SkillExtractorTest, SpecialAndOversizedFilesAreNotReadButStillNamedByTheirFolder) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "fifo");
    ASSERT_EQ(::mkfifo((dir.path() / "fifo/SKILL.md").c_str(), 0644), 0);
    fs::create_directories(dir.path() / "zero");
    fs::create_symlink("/dev/zero", dir.path() / "zero/SKILL.md");
    dir.write("huge/SKILL.md", "---\nname: other\n---\n" + std::string(1 << 20, '\n'));
    for (const char* folder : {"fifo", "zero", "huge"}) {
        const auto snippet = SkillExtractor::parseSkillFile(dir.path() / folder / "SKILL.md");
        ASSERT_TRUE(snippet.has_value()) << folder;
        EXPECT_EQ(snippet->id, std::string("skill:") + folder);
    }
}

class GlobalSkillTest : public testing::Test {
protected:
    fs::path claude() const { return home.path() / ".claude/skills"; }
    fs::path codex() const { return home.path() / ".codex/skills"; }
    fs::path skill(const fs::path& root, const std::string& relative, const std::string& name) const {
        fs::create_directories((root / relative).parent_path());
        return home.write(fs::relative(root / relative, home.path()).string(), "---\nname: " + name + "\n---\n");
    }
    test::TempDir home;
};

TEST_F(GlobalSkillTest, DiscoveryIsBreadthFirstToDepthThreeOncePerDirectoryAndSortedByPath) {
    skill(claude(), "review/SKILL.md", "review");
    skill(claude(), "a/b/SKILL.md", "deep");
    skill(claude(), "a/b/c/SKILL.md", "too-deep");
    skill(codex(), "review/SKILL.md", "review");
    skill(codex(), "zeta/SKILL.md", "zeta");
    home.write("elsewhere/notes.md", "---\nname: notes\n---\n");
    fs::create_symlink(home.path() / "elsewhere/notes.md", claude() / "SKILL.md.link");
    fs::create_directories(claude() / "renamed");
    fs::create_symlink(home.path() / "elsewhere/notes.md", claude() / "renamed/SKILL.md");
    fs::create_directory_symlink(claude(), claude() / "a/loop");
    ASSERT_EQ(::mkfifo((claude() / "a/SKILL.md").c_str(), 0644), 0);

    const auto files = GlobalSkillDiscovery::discover({claude(), codex(), home.path() / "missing"}, 3);
    EXPECT_THAT(files, ElementsAre(fs::canonical(claude() / "a/b/SKILL.md"), fs::canonical(claude() / "review/SKILL.md"),
                                   fs::canonical(codex() / "review/SKILL.md"), fs::canonical(codex() / "zeta/SKILL.md")));
    EXPECT_THAT(GlobalSkillDiscovery::discover({claude()}, 0), IsEmpty());

    GlobalSkillProvider provider({claude(), codex()});
    const auto snippets = provider.snippets("/one");
    ASSERT_EQ(snippets.size(), 3u);
    EXPECT_EQ(snippets[0].id, "skill:deep");
    EXPECT_EQ(snippets[1].id, "skill:review");
    EXPECT_EQ(snippets[1].metadata->at("filePath"), fs::canonical(claude() / "review/SKILL.md").string());
    EXPECT_EQ(snippets[2].id, "skill:zeta");
    for (const auto& s : snippets) {
        EXPECT_EQ(s.metadata->at("global"), "true");
    }
}

TEST_F(GlobalSkillTest, ScansOnceUntilRefreshedAndGivesTheSameListForEveryRoot) {
    GlobalSkillProvider provider({claude()});
    EXPECT_THAT(provider.snippets("/a"), IsEmpty());
    skill(claude(), "one/SKILL.md", "one");
    EXPECT_THAT(provider.snippets("/b"), IsEmpty());
    provider.refresh();
    ASSERT_EQ(provider.snippets("/c").size(), 1u);
    // A folder-named skill gains the map that carries the mark.
    home.write(".claude/skills/plain/SKILL.md", "no front matter");
    provider.refresh();
    const auto snippets = provider.snippets("/d");
    ASSERT_EQ(snippets.size(), 2u);
    EXPECT_EQ(snippets[1].id, "skill:plain");
    EXPECT_EQ(*snippets[1].metadata, (std::map<std::string, std::string>{{"global", "true"}}));

    EXPECT_EQ(GlobalSkillProvider::defaultRoots(),
              (std::vector<fs::path>{std::string(getenv("HOME")) + "/.claude/skills",
                                     std::string(getenv("HOME")) + "/.codex/skills"}));
}

} // namespace
} // namespace korvane
