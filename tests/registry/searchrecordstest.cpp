#include "registry/searchresponse.h"
#include "registry/snippetsection.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(SearchRecordsTest, NewRecordsCarryNoScopeOrRole) {
    const SearchResponse response;
    EXPECT_TRUE(response.results.empty());
    EXPECT_FALSE(response.displayChip || response.scope || response.urlOnly || response.scopeDisabled);

    // Section assembly relies on a new section being an ordinary category row.
    SnippetSection section("git", "Git", {SnippetSource::gitRef(), SnippetSource::gitRemote()});
    EXPECT_FALSE(section.isProjectHeader || section.isFooter);
    EXPECT_FALSE(section.totalCount || section.scopeHint || section.helpText);
    section.results.push_back({.snippet = {.id = "git:branch:main", .label = "main"}});
    section.totalCount = 1;
    const SnippetSection copy = section;
    EXPECT_EQ(copy.id(), "git");
    EXPECT_EQ(copy.title(), "Git");
    EXPECT_EQ(copy.sources().back(), SnippetSource::gitRemote());
    EXPECT_EQ(copy.results.front().snippet.label, "main");
}

} // namespace
} // namespace korvane
