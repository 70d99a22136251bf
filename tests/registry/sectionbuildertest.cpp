#include "registry/sectionbuilder.h"

#include "base/clock.h"
#include "platform/fake/fakeclock.h"
#include "config/categorycatalog.h"
#include "config/customproviderconfig.h"
#include "registry/snippetregistry.h"
#include "registrytesting.h"

#include <chrono>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace korvane {
namespace {

using test::FakeHistory;
using test::labelsOf;
using test::makeSnippet;
using Labels = std::vector<std::string>;

class SectionBuilderTest : public testing::Test {
protected:
    SectionBuilderTest() { registry.historyStore = history; }

    void add(const SnippetSource& source, std::vector<Snippet> snippets) {
        registry.updateSnippets(source, std::move(snippets));
    }
    void used(const std::string& id, double score, double secondsAgo) {
        history->scores[id] = score;
        history->dates[id] = clock.now() - std::chrono::milliseconds(static_cast<long>(secondsAgo * 1000));
    }
    std::vector<SnippetSection> sections(const std::vector<std::string>& ids) {
        return registry.makeSectionBuilder(std::nullopt).buildSections(ids);
    }

    FakeClock clock;
    SnippetRegistry registry{clock, "en"};
    std::shared_ptr<FakeHistory> history = std::make_shared<FakeHistory>();
};

Snippet appScoped(const std::string& label) {
    Snippet snippet = makeSnippet(label);
    snippet.scope = SnippetScope::app;
    return snippet;
}

Snippet withUrl(const std::string& label, const SnippetSource& source, const std::string& url) {
    Snippet snippet = makeSnippet(label, source);
    snippet.url = url;
    return snippet;
}

TEST_F(SectionBuilderTest, UnknownOrNoCategoriesMakeNoSections) {
    add(SnippetSource::manual(), {makeSnippet("alpha")});
    EXPECT_TRUE(sections({}).empty());
    EXPECT_TRUE(sections({"nothing", "deploy"}).empty());
}

TEST_F(SectionBuilderTest, SectionsFollowTheCategoriesWithTheirTexts) {
    add(SnippetSource::manual(), {makeSnippet("beta"), makeSnippet("Alpha"), appScoped("app one")});
    add(SnippetSource::gitRef(), {makeSnippet("main", SnippetSource::gitRef())});

    const auto built = sections({"git", "recent", "files", "manual", "app", "docs"});
    ASSERT_EQ(built.size(), 6u);

    EXPECT_EQ(built[0].id(), "git");
    EXPECT_EQ(built[0].title(), "Git");
    EXPECT_EQ(built[0].scopeHint, "@git");
    EXPECT_EQ(labelsOf(built[0].results), Labels{"main"});
    EXPECT_EQ(built[0].totalCount, 1u);
    EXPECT_FALSE(built[0].helpText.has_value());

    // Without usage history nothing is recent.
    EXPECT_EQ(built[1].id(), "recent");
    EXPECT_TRUE(built[1].results.empty());
    EXPECT_EQ(built[1].helpText, "Recently used snippets appear here");
    EXPECT_FALSE(built[1].totalCount.has_value());
    EXPECT_EQ(built[1].sources(), allBuiltInSources());

    EXPECT_TRUE(built[2].results.empty());
    EXPECT_EQ(built[2].helpText, "Recent changed files from git");
    EXPECT_FALSE(built[2].totalCount.has_value());

    EXPECT_EQ(labelsOf(built[3].results), (Labels{"Alpha", "beta"}));
    EXPECT_EQ(labelsOf(built[4].results), Labels{"app one"});

    EXPECT_EQ(built[5].totalCount, 0u);
    EXPECT_EQ(built[5].helpText, "CLAUDE.md, AGENTS.md, README.md");
    for (const auto& section : built) {
        EXPECT_FALSE(section.isProjectHeader || section.isFooter);
    }
}

TEST_F(SectionBuilderTest, AppSnippetsAppearOnlyInTheAppSection) {
    add(SnippetSource::manual(), {appScoped("app one"), makeSnippet("plain")});
    CategoryDefinition everything{"everything", "Everything", "",  {SnippetSource::manual()},
                                  "none",       {},           true};
    registry.categoryCatalog = CategoryCatalogSnapshot{{}, {{"everything", everything}}};

    const auto built = sections({"app", "manual", "everything"});
    ASSERT_EQ(built.size(), 3u);
    EXPECT_EQ(labelsOf(built[0].results), Labels{"app one"});
    EXPECT_EQ(labelsOf(built[1].results), Labels{"plain"});
    EXPECT_EQ(labelsOf(built[2].results), Labels{"plain"});
}

TEST_F(SectionBuilderTest, CustomCategoriesComeFromTheCatalog) {
    CustomProviderConfig provider;
    provider.id = "deploy";
    provider.label = "Deploy";
    provider.command = "echo";
    registry.categoryCatalog = CategoryCatalog::makeSnapshot({provider});
    add(SnippetSource::custom("deploy"), {makeSnippet("staging", SnippetSource::custom("deploy"))});
    add(SnippetSource::custom("other"), {makeSnippet("prod", SnippetSource::custom("other"))});

    const auto built = sections({"deploy"});
    ASSERT_EQ(built.size(), 1u);
    EXPECT_EQ(built[0].title(), "Deploy");
    EXPECT_EQ(built[0].scopeHint, "@deploy");
    EXPECT_EQ(labelsOf(built[0].results), Labels{"staging"});
}

TEST_F(SectionBuilderTest, SectionOrderPutsTheLastFiveMinutesFirst) {
    add(SnippetSource::manual(), {makeSnippet("beta"), makeSnippet("Alpha"), makeSnippet("older"),
                                  makeSnippet("recent"), makeSnippet("future")});
    used("User:older", 5.0, 301);
    used("User:recent", 1.0, 299);
    used("User:future", 0.5, -60);

    const auto built = sections({"manual"});
    ASSERT_EQ(built.size(), 1u);
    EXPECT_EQ(labelsOf(built[0].results), (Labels{"recent", "future", "older", "Alpha", "beta"}));

    clock.advance(2);
    EXPECT_EQ(labelsOf(sections({"manual"})[0].results),
              (Labels{"future", "older", "recent", "Alpha", "beta"}));
}

TEST_F(SectionBuilderTest, RecentSectionShowsTheEightHighestScoresOfEnabledSources) {
    std::vector<Snippet> snippets;
    for (int i = 1; i <= 9; ++i) {
        snippets.push_back(makeSnippet(fmt::format("s{}", i)));
        used(fmt::format("User:s{}", i), i, 10000);
    }
    snippets.push_back(makeSnippet("never"));
    add(SnippetSource::manual(), snippets);
    add(SnippetSource::envVar(), {makeSnippet("HOME", SnippetSource::envVar())});
    used("Env:HOME", 100.0, 1);
    history->scores["User:never"] = std::numeric_limits<double>::quiet_NaN();
    registry.setDisabledSources({SnippetSource::envVar()});

    const auto built = sections({"recent"});
    ASSERT_EQ(built.size(), 1u);
    EXPECT_EQ(labelsOf(built[0].results), (Labels{"s9", "s8", "s7", "s6", "s5", "s4", "s3", "s2"}));
    EXPECT_FALSE(built[0].helpText.has_value());
}

TEST_F(SectionBuilderTest, UrlListSkipsDisabledSourcesAndEmptyUrls) {
    add(SnippetSource::manual(), {withUrl("docs", SnippetSource::manual(), "https://docs.example/"),
                                  withUrl("blank", SnippetSource::manual(), ""),
                                  withUrl("api", SnippetSource::manual(), "https://api.example/")});
    add(SnippetSource::gitRemote(), {withUrl("origin", SnippetSource::gitRemote(), "https://git.example/")});
    used("User:docs", 1.0, 5000);
    registry.setDisabledSources({SnippetSource::gitRemote()});

    const SectionBuilder builder = registry.makeSectionBuilder(std::nullopt);
    EXPECT_EQ(labelsOf(builder.urlSnippets(10)), (Labels{"docs", "api"}));
    EXPECT_EQ(labelsOf(builder.urlSnippets(1)), Labels{"docs"});
    EXPECT_TRUE(builder.urlSnippets(0).empty());
    // A disabled source still shows in its own category.
    EXPECT_EQ(labelsOf(builder.buildSections({"git"})[0].results), Labels{"origin"});
}

} // namespace
} // namespace korvane
