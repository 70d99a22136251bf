#include "model/snippet.h"

#include <gtest/gtest.h>
#include <unordered_set>

namespace korvane {
namespace {

TEST(SnippetSourceTest, CustomSourcesAreEqualOnlyWithTheSameId) {
    EXPECT_EQ(SnippetSource::custom("a"), SnippetSource::custom("a"));
    EXPECT_NE(SnippetSource::custom("a"), SnippetSource::custom("b"));
    EXPECT_EQ(SnippetSource::custom("a").badgeLabel(), "Custom");
    std::unordered_set<SnippetSource> set{SnippetSource::custom("a"), SnippetSource::custom("a"),
                                          SnippetSource::custom("b"), SnippetSource::gitRef()};
    EXPECT_EQ(set.size(), 3u);
}

TEST(SnippetTest, BadgeAndUrlRules) {
    Snippet remote{.id = "git:remote:origin", .label = "origin", .source = SnippetSource::gitRemote()};
    EXPECT_EQ(remote.badge(), "Git");
    remote.badgeText = "PR";
    EXPECT_EQ(remote.badge(), "PR");

    Snippet builtin{.id = "builtin:date", .label = "date", .source = SnippetSource::manual()};
    EXPECT_EQ(builtin.badge(), "User");
    builtin.url = "";
    EXPECT_FALSE(builtin.isUrlSnippet());
    builtin.url = "https://example.org";
    EXPECT_TRUE(builtin.isUrlSnippet());
}

} // namespace
} // namespace korvane
