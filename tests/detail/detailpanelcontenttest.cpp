#include "detail/detailpanelcontent.h"

#include "detail/detailtextwrap.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Lines = std::vector<std::string>;
using std::chrono::seconds;

TEST(DetailTextWrapTest, WrapsByCharactersAndKeepsWhatTheLinesHold) {
    const std::string emoji =
        "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"; // one cluster of three code points
    struct Case {
        std::string text;
        int width;
        Lines lines;
    } cases[] = {
        {"", 20, {" "}},
        {std::string(30, ' '), 10, {" "}},
        {"a\n\nb", 20, {"a", " ", "b"}},
        {"a\r\nb", 20, {"a", " ", "b"}},
        {"aaaa bbbb cc", 4, {"aaaa bbbb", "cc"}},
        {"0123456789", 10, {"0123456789"}},
        {"01234 6789a", 10, {"01234", "6789a"}},
        {std::string(25, 'w') + " next", 10, {"wwwwwwwwww", "wwwwwwwwww", "wwwww", "next"}},
        {"ab   cd efghijklmnop", 10, {"ab   cd", "efghijklmn", "op"}},
        {emoji + std::string(9, 'x') + " y", 10, {emoji + std::string(9, 'x'), "y"}},
        {std::string(12, 'z') + emoji, 10, {std::string(10, 'z'), "zz" + emoji}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wrapText(c.text, c.width), c.lines) << testing::PrintToString(c.text) << " at " << c.width;
    }
}

TEST(DetailPanelContentTest, CharactersPerLineFollowTheFontAndWidth) {
    EXPECT_EQ(DetailPanelContent::charactersPerLine(16, 270), 28);
    EXPECT_EQ(DetailPanelContent::charactersPerLine(10, 180), 31);
    EXPECT_EQ(DetailPanelContent::charactersPerLine(24, 180), 20);
    EXPECT_EQ(DetailPanelContent::charactersPerLine(8, 270), 60);
}

TEST(DetailPanelContentTest, SkillLocationsAreRelativeOnlyInsideTheProject) {
    Snippet skill;
    skill.source = SnippetSource::claudeSkill();
    skill.metadata = std::map<std::string, std::string>{{"filePath", " /p/app/docs/x.md\n"}};
    const auto location = [&](std::optional<std::string> root) {
        return DetailPanelContent::skillLocationPath(skill, root).value_or("<none>");
    };
    EXPECT_EQ(location("/p/app/"), "docs/x.md");
    EXPECT_EQ(location("/p/app"), "docs/x.md");
    EXPECT_EQ(location("/p/application"), "/p/app/docs/x.md");
    EXPECT_EQ(location(std::nullopt), "/p/app/docs/x.md");
    (*skill.metadata)["global"] = "TRUE";
    EXPECT_EQ(location("/p/app"), "/p/app/docs/x.md");
    (*skill.metadata)["filePath"] = " \n";
    EXPECT_EQ(location("/p/app"), "<none>");
}

TEST(DetailPanelContentTest, SectionsTitlesCountsAndFormats) {
    Snippet link;
    link.source = SnippetSource::gitRef();
    link.url = "https://example.com";
    link.metadata = std::map<std::string, std::string>{{"stale", "true"}};
    EXPECT_EQ(DetailPanelContent::sectionFor(link), DetailPanelContent::Section::link);
    EXPECT_TRUE(DetailPanelContent::isStale(link));
    (*link.metadata)["stale"] = "True";
    EXPECT_FALSE(DetailPanelContent::isStale(link));

    Snippet file;
    file.source = SnippetSource::filePath();
    file.label = "src/app/main.cpp";
    file.displayName = "ignored";
    EXPECT_EQ(DetailPanelContent::title(file), "main.cpp");

    for (const auto& [text, count] : std::vector<std::pair<std::optional<std::string>, long long>>{
             {"2", 2}, {"+3", 3}, {"-2", -2}, {"x", 0}, {"", 0}, {"1 ", 0}, {std::nullopt, 0}}) {
        EXPECT_EQ(DetailPanelContent::branchCount(text), count) << text.value_or("<absent>");
    }

    EXPECT_EQ(DetailPanelContent::formatByteCount(0), "Zero KB");
    EXPECT_EQ(DetailPanelContent::formatByteCount(12), "1 KB");
    EXPECT_EQ(DetailPanelContent::formatByteCount(262'144), "262 KB");
    EXPECT_EQ(DetailPanelContent::formatByteCount(1'234'567), "1.2 MB");
    EXPECT_EQ(DetailPanelContent::formatByteCount(10'485'760), "10.5 MB");

    const auto now = std::chrono::system_clock::time_point(seconds(1'800'000'000));
    const auto age = [&](long long ago) {
        return DetailPanelContent::shortRelativeAge(now - seconds(ago), now);
    };
    EXPECT_EQ(age(0), "now");
    EXPECT_EQ(age(5), "5 sec. ago");
    EXPECT_EQ(age(200), "3 min. ago");
    EXPECT_EQ(age(2 * 3600 + 5), "2 hr. ago");
    EXPECT_EQ(age(86400), "1 day ago");
    EXPECT_EQ(age(4 * 86400), "4 days ago");
    EXPECT_EQ(age(800 * 86400), "2 yr. ago");
    EXPECT_EQ(age(-300), "in 5 min.");
}

} // namespace
} // namespace korvane
