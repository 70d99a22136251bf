#include "config/categorycatalog.h"

#include "config/enabledsourcespolicy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using S = SnippetSource;
using Sources = std::unordered_set<SnippetSource>;
using testing::ElementsAre;

std::vector<std::string> ids(const std::vector<CategoryDefinition>& definitions) {
    std::vector<std::string> result;
    for (const auto& definition : definitions) {
        result.push_back(definition.id);
    }
    return result;
}

TEST(CategoryCatalogTest, BuiltInCategoriesInDisplayOrder) {
    const auto& categories = CategoryCatalog::builtInCategories();
    EXPECT_EQ(ids(categories), defaultActiveCategories());
    EXPECT_THAT(defaultActiveCategories(),
                ElementsAre("recent", "files", "app", "manual", "skills", "git", "docs", "scripts"));
    const CategoryDefinition& recent = categories[0];
    EXPECT_TRUE(recent.sources.empty());
    EXPECT_EQ(recent.scopeHint, std::nullopt);
    EXPECT_EQ(categories[4], (CategoryDefinition{"skills",
                                                 "Skills",
                                                 "Agent Skills (Global + Project)",
                                                 {S::claudeSkill()},
                                                 "SKILL.md files from .claude/skills/",
                                                 "@skill"}));
    EXPECT_EQ(categories[7].sources, (std::vector<SnippetSource>{S::npmScript(), S::makeTarget()}));
    EXPECT_EQ(allBuiltInSources().size(), 9u);
}

TEST(CategoryCatalogTest, CustomProvidersBecomeCategories) {
    CustomProviderConfig scan{.id = "jira", .label = "Jira", .command = "jira"};
    CustomProviderConfig live{
        .id = "docs-search", .label = "Search", .command = "s", .scope = "ds", .mode = "live"};
    CustomProviderConfig hinted{.id = "todo",
                                .label = "Todo",
                                .command = "t",
                                .description = "Open todos",
                                .emptyHint = "Nothing to do"};
    const auto snapshot = CategoryCatalog::makeSnapshot({scan, live, hinted});

    const auto jira = snapshot.definition("jira").value();
    EXPECT_EQ(jira, (CategoryDefinition{
                        "jira", "Jira", "Jira", {S::custom("jira")}, "Snippets from Jira", "@jira", true}));
    EXPECT_EQ(snapshot.definition("docs-search")->helpText, "Type @ds to search");
    EXPECT_EQ(snapshot.definition("docs-search")->scopeHint, "@ds");
    EXPECT_EQ(snapshot.definition("todo")->helpText, "Nothing to do");
    EXPECT_EQ(snapshot.definition("todo")->description, "Open todos");

    scan.mode = "live";
    EXPECT_EQ(CategoryCatalog::makeSnapshot({scan}).definition("jira")->helpText, "Type @jira to search");
    scan.mode = "Live"; // only the exact text selects live runs
    EXPECT_EQ(CategoryCatalog::makeSnapshot({scan}).definition("jira")->helpText, "Snippets from Jira");

    CustomProviderConfig renamed = scan;
    renamed.label = "Later";
    EXPECT_EQ(CategoryCatalog::makeSnapshot({scan, renamed}).definition("jira")->label, "Later");
    EXPECT_EQ(snapshot.definition("nope"), std::nullopt);
}

TEST(EnabledSourcesPolicyTest, ActiveCategoriesDecideEnabledSources) {
    const auto catalog = CategoryCatalog::makeSnapshot({{.id = "jira", .label = "Jira", .command = "j"}});
    const Sources everything{S::manual(),   S::claudeSkill(), S::aiDoc(),     S::envVar(),
                             S::gitRef(),   S::gitRemote(),   S::npmScript(), S::makeTarget(),
                             S::filePath(), S::custom("jira")};
    struct Case {
        std::vector<std::string> active;
        Sources enabled;
    };
    const std::vector<Case> cases{
        {{"git", "docs"}, {S::gitRef(), S::gitRemote(), S::aiDoc()}},
        {{"app"}, {S::manual()}},
        {{"recent"}, {}},
        {{}, {}},
        {{"nothing", "jira"}, {S::custom("jira")}},
    };
    for (const auto& c : cases) {
        const auto snapshot = EnabledSourcesPolicy::resolve(c.active, catalog);
        EXPECT_EQ(snapshot.enabled, c.enabled);
        Sources disabled = everything;
        for (const auto& source : c.enabled) {
            disabled.erase(source);
        }
        EXPECT_EQ(snapshot.disabled, disabled);
        EXPECT_TRUE(snapshot.disabled.contains(S::envVar()));
    }
    EXPECT_THAT(ids(EnabledSourcesPolicy::resolve({"git", "bogus", "git", "jira"}, catalog).activeCategories),
                ElementsAre("git", "git", "jira"));
}

TEST(EnabledSourcesPolicyTest, BuiltInDefinitionWinsOverCustomWithTheSameId) {
    auto catalog = CategoryCatalog::makeSnapshot({{.id = "git", .label = "Fake", .command = "x"}});
    const auto snapshot = EnabledSourcesPolicy::resolve({"git"}, catalog);
    ASSERT_EQ(snapshot.activeCategories.size(), 1u);
    EXPECT_FALSE(snapshot.activeCategories[0].isCustom);
    EXPECT_TRUE(snapshot.disabled.contains(S::custom("git")));
}

} // namespace
} // namespace korvane
