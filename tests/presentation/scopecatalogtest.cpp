#include "presentation/scopecatalog.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

std::vector<std::string> ids(const std::vector<ScopeDefinition>& definitions) {
    std::vector<std::string> out;
    for (const auto& definition : definitions) {
        out.push_back(definition.id);
    }
    return out;
}

std::vector<std::string> allTokens(const ScopeRegistry& registry) {
    std::vector<std::string> tokens;
    for (const auto& entry : registry.manifest().entries) {
        tokens.push_back(entry.aliases.front());
    }
    return tokens;
}

TEST(ScopeCatalogTest, FiltersByAliasPrefixOrTitleAndDropsScopesWhoseSourcesAreAllOff) {
    const ScopeRegistry registry;
    const auto tokens = allTokens(registry);
    using S = SnippetSource;
    struct Case {
        const char* query;
        std::unordered_set<SnippetSource> excluded;
        std::vector<std::string> expected;
    } cases[] = {
        // Aliases match at their start, titles anywhere.
        {"gi", {}, {"git", "branch", "tag", "remote"}},
        // "ranch" is inside no alias's start, but inside the title "Git Branches".
        {"ranch", {}, {"branch"}},
        {"  MAKE\n", {}, {"make"}},
        {"xyz", {}, {}},
        {"lin", {}, {"url"}},
        {"git", {S::gitRef()}, {"git", "remote"}},
        {"git", {S::gitRef(), S::gitRemote()}, {}},
        {"url", {S::manual(), S::gitRemote()}, {}},
        {"url", {S::manual()}, {"url"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ids(ScopeCatalog::rows({c.excluded, &registry, tokens, std::nullopt}, c.query)), c.expected)
            << "query '" << c.query << "'";
    }

    const auto all = ScopeCatalog::rows({{}, &registry, tokens, std::nullopt}, " \t ");
    ASSERT_EQ(all.size(), 13u);
    EXPECT_EQ(all.front().id, "app");
    EXPECT_EQ(all[2].primaryAlias, "user");
    EXPECT_EQ(all[2].aliases, (std::vector<std::string>{"user", "u", "manual"}));
    EXPECT_EQ(all.back().sources, (std::vector<SnippetSource>{S::manual(), S::gitRemote()}));
    EXPECT_EQ(all[0].sources, std::vector<SnippetSource>{S::manual()});
}

TEST(ScopeCatalogTest, OffersOnlyTheAskedTokensOnceEachAndNamesCustomScopesFromTheCatalog) {
    CustomProviderConfig jira;
    jira.id = "jira";
    jira.label = "jira";
    jira.command = "true";
    const ScopeRegistry registry({jira});

    CategoryCatalogSnapshot catalog;
    catalog.custom["jira"] = CategoryDefinition{
        "jira", "Jira Issues", "Open tickets", {SnippetSource::custom("jira")}, "", std::string("@jira"),
        true};
    const auto rows = ScopeCatalog::rows({{}, &registry, {"git", "jira", "git"}, catalog}, "");
    ASSERT_EQ(ids(rows), (std::vector<std::string>{"git", "jira"}));
    EXPECT_EQ(rows[1].title, "Jira Issues");
    EXPECT_EQ(rows[1].description, "Open tickets");

    const auto withoutCatalog = ScopeCatalog::rows({{}, &registry, {"jira"}, std::nullopt}, "");
    ASSERT_EQ(withoutCatalog.size(), 1u);
    EXPECT_EQ(withoutCatalog[0].title, registry.entries({"jira"}).front().title);
}

} // namespace
} // namespace korvane
