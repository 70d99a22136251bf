#include "providers/projectdocextractor.h"

#include "support/tempdir.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

TEST(ProjectDocExtractorTest, ClaimsTheAgentDocumentsAndAnyReadmeInTheRootOnly) {
    const struct {
        const char* name;
        const char* relative;
        bool claimed;
    } cases[] = {
        {"CLAUDE.md", "CLAUDE.md", true},     {"AGENTS.md", "AGENTS.md", true},
        {"README.md", "README.md", true},     {"ReadMe.md", "ReadMe.md", true},
        {"readme.md", "readme.md", true},     {"claude.md", "claude.md", false},
        {"README.md", "docs/README.md", false}, {"README.markdown", "README.markdown", false},
        {"README.txt", "README.txt", false},
    };
    const ProjectDocExtractor extractor;
    for (const auto& c : cases) {
        EXPECT_EQ(extractor.matches(c.name, c.relative), c.claimed) << c.relative;
    }
}

TEST(ProjectDocExtractorTest, SummaryIsTheFirstMeaningfulLineCutToAHundredCharacters) {
    const std::string hundredEmoji = [] {
        std::string text;
        for (int i = 0; i < 150; ++i) {
            text += "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd"; // a thumbs-up with a skin tone: one character
        }
        return text;
    }();
    const struct {
        std::string text;
        std::optional<std::string> summary;
    } cases[] = {
        {"---\ntitle: x\n---\n# Heading", "title: x"},
        {"\n  \t\n## Title ##\n", "Title ##"},
        {"#\n###   \n#\tReal\n", "Real"},
        {"  plain line  \nnext", "plain line"},
        {"\r\n\u2028  first\u2029second", "first"},
        {std::string(150, 'a'), std::string(100, 'a')},
        {hundredEmoji, hundredEmoji.substr(0, 800)},
        {"", std::nullopt},
        {"---\n\n#\n", std::nullopt},
        {"caf\xc3", std::nullopt},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const auto file = dir.write("README.md", c.text);
        EXPECT_EQ(ProjectDocExtractor::summary(file), c.summary) << c.text;
    }
}

TEST(ProjectDocExtractorTest, OneSnippetPerDocumentEvenWhenItCannotBeRead) {
    test::TempDir dir;
    const auto readme = dir.write("ReadMe.md", "# Korvane\n");
    fs::create_symlink("/dev/zero", dir.path() / "AGENTS.md");
    ASSERT_EQ(::mkfifo((dir.path() / "CLAUDE.md").c_str(), 0644), 0);
    const ProjectDocExtractor extractor;

    auto snippets = extractor.extract(readme);
    ASSERT_EQ(snippets.size(), 1u);
    EXPECT_EQ(snippets[0].id, "aidoc:readme.md");
    EXPECT_EQ(snippets[0].label, "ReadMe.md");
    EXPECT_EQ(snippets[0].expansion, "ReadMe.md");
    EXPECT_EQ(snippets[0].source, SnippetSource::aiDoc());
    EXPECT_EQ(snippets[0].description, "Korvane");
    EXPECT_EQ(*snippets[0].metadata, (std::map<std::string, std::string>{{"filePath", readme.string()}}));

    for (const char* name : {"AGENTS.md", "CLAUDE.md", "missing.md"}) {
        snippets = extractor.extract(dir.path() / name);
        ASSERT_EQ(snippets.size(), 1u) << name;
        EXPECT_FALSE(snippets[0].description.has_value()) << name;
    }
}

} // namespace
} // namespace korvane
