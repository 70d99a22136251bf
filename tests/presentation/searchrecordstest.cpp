#include "presentation/searchshellvariant.h"
#include "presentation/searchviewstate.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace korvane {
namespace {

std::vector<SearchResult> results(const std::vector<std::string>& ids) {
    std::vector<SearchResult> out;
    for (const auto& id : ids) {
        auto snippet = std::make_shared<Snippet>();
        snippet->id = id;
        out.push_back(SearchResult{std::move(snippet), {}});
    }
    return out;
}

TEST(SearchShellVariantTest, ReadsOnlyItsExactRawValues) {
    const struct {
        const char* text;
        std::optional<SearchShellVariant> variant;
    } cases[] = {
        {"scopesOnly", SearchShellVariant::scopesOnly},
        {"mixed", SearchShellVariant::mixed},
        {"scopedEmpty", SearchShellVariant::scopedEmpty},
        {"Mixed", std::nullopt},
        {"scopedempty", std::nullopt},
        {" mixed", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(searchShellVariantFromString(c.text), c.variant) << c.text;
        if (c.variant) {
            EXPECT_EQ(toString(*c.variant), c.text);
        }
    }
}

TEST(SearchViewStateTest, ResultListsCompareBySnippetIDsOnly) {
    auto ranged = results({"a", "b"});
    ranged[0].matchRanges.push_back(TextRange{0, 1});
    const SearchEmptyState compact{"No matches", SearchEmptyState::Style::compact};
    const SearchEmptyState standard{"No matches", SearchEmptyState::Style::standard};

    EXPECT_EQ(SearchViewState::results(results({"a", "b"})), SearchViewState::results(ranged));
    EXPECT_NE(SearchViewState::results(results({"a", "b"})), SearchViewState::results(results({"b", "a"})));
    EXPECT_NE(SearchViewState::results(results({"a"})), SearchViewState::results(results({"a", "b"})));
    EXPECT_EQ(SearchViewState::empty(compact), SearchViewState::empty(compact));
    EXPECT_NE(SearchViewState::empty(compact), SearchViewState::empty(standard));
    EXPECT_NE(SearchViewState::results({}), SearchViewState::empty(compact));
    EXPECT_TRUE(SearchViewState::empty(compact).resultList().empty());
}

} // namespace
} // namespace korvane
