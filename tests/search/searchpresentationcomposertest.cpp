#include "config/scoperegistry.h"
#include "search/searchpresentationcomposer.h"
#include "searchtestsupport.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using Context = SearchPresentationComposer::Context;
using test::manualSnippet;

std::vector<std::string> rowIDs(const SearchPresentation& presentation) {
    std::vector<std::string> out;
    for (const auto& row : presentation.rows) {
        out.push_back(row.id);
    }
    return out;
}

std::vector<SearchResult> results(std::initializer_list<const char*> keys) {
    std::vector<SearchResult> out;
    for (const auto* key : keys) {
        out.push_back(SearchResult{manualSnippet(key), {}});
    }
    return out;
}

class SearchPresentationComposerTest : public ::testing::Test {
protected:
    ScopeCatalog::Inputs inputs() const {
        ScopeCatalog::Inputs in;
        in.scopeRegistry = &registry;
        in.primaryAliases = registry.projection().canonicalTokens;
        in.excludedSources = excluded;
        return in;
    }
    SearchPresentation compose(const Context& context, const std::vector<SearchResult>& snippetResults,
                               bool disabled = false, std::optional<std::string> message = std::nullopt) const {
        return SearchPresentationComposer().compose(context, snippetResults, disabled, message, inputs());
    }

    ScopeRegistry registry;
    std::unordered_set<SnippetSource> excluded;
};

TEST_F(SearchPresentationComposerTest, ShapesMessagesAndFirstSelection) {
    const auto all = ScopeCatalog::rows(inputs(), "");
    ASSERT_EQ(all.size(), 13u);
    struct Case {
        const char* name;
        Context context;
        std::vector<SearchResult> results;
        bool disabled;
        std::optional<std::string> message;
        SearchShellVariant variant;
        std::optional<std::string> expectedMessage;
        std::optional<std::string> firstSelected;
        std::size_t rowCount;
    } cases[] = {
        {"picker, all scopes", Context::scopeOnly(""), {}, false, {}, SearchShellVariant::scopesOnly, {},
         "scope:" + all[0].primaryAlias, 14},
        {"picker, unknown term", Context::scopeOnly(" Zq"), {}, false, {}, SearchShellVariant::scopesOnly,
         "No scopes match \"@ Zq\"", {}, 0},
        {"picker with results cuts scopes to 12", Context::scopeOnly(""), results({"a"}), false, {},
         SearchShellVariant::scopesOnly, {}, "scope:" + all[0].primaryAlias, 13},
        {"scoped with results", Context::scoped("git"), results({"a", "b"}), false, {}, SearchShellVariant::mixed,
         {}, "snippet:manual:a", 3 + 13},
        {"scoped empty, default message", Context::scoped("GIT"), {}, false, {}, SearchShellVariant::scopedEmpty,
         "No matches in @GIT. Backspace to refine or choose another scope.", "scope:git", 14},
        {"scoped empty, caller message", Context::scoped("f"), {}, false, "No project detected",
         SearchShellVariant::scopedEmpty, "No project detected", "scope:file", 14},
        {"scoped empty, disabled", Context::scoped("f"), {}, true, "ignored", SearchShellVariant::scopedEmpty, {},
         "scope:file", 14},
    };
    for (const auto& c : cases) {
        const auto p = compose(c.context, c.results, c.disabled, c.message);
        EXPECT_EQ(p.variant, c.variant) << c.name;
        EXPECT_EQ(p.message, c.expectedMessage) << c.name;
        EXPECT_EQ(p.initialSelectedRowID, c.firstSelected) << c.name;
        EXPECT_EQ(p.rows.size(), c.rowCount) << c.name;
        EXPECT_EQ(test::ids(p.snippetResults), test::ids(c.results)) << c.name;
    }
}

TEST_F(SearchPresentationComposerTest, NoScopesEnabledWhenEverySourceIsExcluded) {
    excluded = {SnippetSource::manual(),    SnippetSource::claudeSkill(), SnippetSource::aiDoc(),
                SnippetSource::envVar(),    SnippetSource::gitRef(),      SnippetSource::gitRemote(),
                SnippetSource::npmScript(), SnippetSource::makeTarget(),  SnippetSource::filePath()};
    const auto p = compose(Context::scopeOnly(""), {});
    EXPECT_TRUE(p.rows.empty());
    EXPECT_EQ(p.message, "No scopes enabled (check providers in settings)");
    EXPECT_EQ(p.initialSelectedRowID, std::nullopt);
}

TEST_F(SearchPresentationComposerTest, MixedShapeHasHeadersCountingTheirRowsAndTheActiveScopeFirst) {
    const auto p = compose(Context::scoped("b"), results({"x"}));
    const auto idsOf = rowIDs(p);
    ASSERT_GE(idsOf.size(), 5u);
    EXPECT_EQ(idsOf[0], "header:snippets");
    EXPECT_EQ(idsOf[1], "snippet:manual:x");
    EXPECT_EQ(idsOf[2], "header:scopes");
    EXPECT_EQ(idsOf[3], "scope:branch");
    EXPECT_EQ(p.rows[0].kind.asSectionHeader()->count, 1u);
    EXPECT_EQ(p.rows[2].kind.asSectionHeader()->count, 12u);
    EXPECT_TRUE(p.rows[3].kind.asScope()->isActive);
    EXPECT_FALSE(p.rows[4].kind.asScope()->isActive);
    EXPECT_FALSE(p.rows[0].isSelectable);
}

TEST_F(SearchPresentationComposerTest, ScopeScoreAddsAliasAndTitleMatchesAndTiesKeepCatalogOrder) {
    const ScopeDefinition scope{"git", "git", {"git", "g"}, "Git Refs", "", {SnippetSource::gitRef()}};
    struct Case {
        std::string term;
        std::optional<std::string> chip;
        int score;
    } cases[] = {
        {"", std::nullopt, 0},       {"g", std::nullopt, 1100}, {"gi", std::nullopt, 600},
        {"refs", std::nullopt, 100}, {"git", "GIT", 11100},     {"", "g", 10000},
        {"x", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SearchPresentationComposer::scopeScore(scope, c.term, c.chip), c.score) << c.term;
    }
    // " GI " is trimmed and lowered: "git" (prefix + title) leads; the rest keep the catalog order.
    const auto p = compose(Context::scopeOnly(" GI "), {});
    const auto idsOf = rowIDs(p);
    ASSERT_FALSE(idsOf.empty());
    EXPECT_EQ(idsOf[1], "scope:git");
}

TEST(ScopeCatalogTest, FiltersByAliasPrefixOrTitleAndDropsScopesWhoseSourcesAreAllOff) {
    ScopeRegistry registry;
    ScopeCatalog::Inputs in{{}, &registry, registry.projection().canonicalTokens, std::nullopt};
    auto primaries = [&](const std::string& query) {
        std::vector<std::string> out;
        for (const auto& row : ScopeCatalog::rows(in, query)) {
            out.push_back(row.primaryAlias);
        }
        return out;
    };
    EXPECT_EQ(primaries("   ").size(), 13u);
    EXPECT_EQ(primaries("ra"), (std::vector<std::string>{"branch"}));   // "Git Branches" title
    EXPECT_EQ(primaries("li"), (std::vector<std::string>{"url"}));      // the alias "link"
    EXPECT_TRUE(primaries("ink").empty());                              // not in an alias's middle
    EXPECT_EQ(primaries("MAKE"), (std::vector<std::string>{"make"}));
    in.excludedSources = {SnippetSource::makeTarget()};
    EXPECT_TRUE(primaries("make").empty());
    in.excludedSources = {SnippetSource::manual()};
    EXPECT_EQ(primaries("url"), (std::vector<std::string>{"url"})); // gitRemote keeps it
}

} // namespace
} // namespace korvane
