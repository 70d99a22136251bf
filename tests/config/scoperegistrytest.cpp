#include "config/scoperegistry.h"

#include "config/searchcontext.h"
#include "model/searchoptions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using S = SnippetSource;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

std::vector<std::string> keys(const std::unordered_map<std::string, ScopeSpec>& map) {
    std::vector<std::string> result;
    for (const auto& [key, scope] : map) {
        result.push_back(key);
    }
    return result;
}

TEST(ScopeRegistryTest, BuiltInTokens) {
    const ScopeRegistry registry;
    EXPECT_EQ(registry.manifest().entries.size(), 13u);
    const auto& projection = registry.projection();
    EXPECT_THAT(keys(projection.tokenToSpec),
                UnorderedElementsAre("app", "a", "file", "f", "user", "u", "manual", "skill", "s", "git", "g",
                                     "branch", "b", "tag", "t", "remote", "r", "doc", "d", "ai", "env", "e",
                                     "npm", "n", "make", "m", "url", "link", "l"));
    EXPECT_THAT(projection.canonicalTokens, ElementsAre("app", "file", "user", "skill", "git", "branch",
                                                        "tag", "remote", "doc", "env", "npm", "make", "url"));
    EXPECT_THAT(projection.compactTokens, UnorderedElementsAre("file", "f", "skill", "s", "git", "g", "tag",
                                                               "t", "remote", "r", "npm", "n"));
    EXPECT_EQ(ScopeRegistry::builtInTokens().size(), 29u);

    const std::vector<std::pair<std::string, ScopeSpec>> selections{
        {"a", ScopeSpec::filter(ScopeFilter::appScoped)},
        {"f", ScopeSpec::source(S::filePath())},
        {"manual", ScopeSpec::source(S::manual())},
        {"s", ScopeSpec::source(S::claudeSkill())},
        {"g", ScopeSpec::multiSource({S::gitRef(), S::gitRemote()})},
        {"b", ScopeSpec::source(S::gitRef())},
        {"t", ScopeSpec::source(S::gitRef())},
        {"r", ScopeSpec::source(S::gitRemote())},
        {"ai", ScopeSpec::source(S::aiDoc())},
        {"e", ScopeSpec::source(S::envVar())},
        {"n", ScopeSpec::source(S::npmScript())},
        {"m", ScopeSpec::source(S::makeTarget())},
        {"link", ScopeSpec::filter(ScopeFilter::urlOnly)},
    };
    for (const auto& [token, selection] : selections) {
        EXPECT_EQ(projection.tokenToSpec.at(token), selection) << token;
    }

    std::int64_t priority = 0;
    for (const auto& entry : registry.manifest().entries) {
        EXPECT_EQ(entry.priority, priority += 10) << entry.id;
        EXPECT_EQ(entry.customProviderID, std::nullopt);
    }
    const ScopeEntry& url = registry.manifest().entries.back();
    EXPECT_EQ(url.title, "URL Snippets");
    EXPECT_EQ(url.sourceHints, (std::vector<SnippetSource>{S::manual(), S::gitRemote()}));
    EXPECT_EQ(url.group, ScopeGroup::other);

    const auto& help = ScopeRegistry::builtInHelpProjection();
    ASSERT_EQ(help.rows.size(), 13u);
    EXPECT_THAT(help.rows[2].aliases, ElementsAre("user", "u", "manual"));
    EXPECT_EQ(help.rows[4].description, "All git refs (branches, tags, remotes)");
}

TEST(ScopeRegistryTest, CustomScopesTakeFreeTokensAndTheNextPriority) {
    const ScopeRegistry registry(
        {{.id = "deploy", .label = "Deploy", .command = "d"},
         {.id = "ghub", .label = "GitHub", .command = "g", .scope = "Git"},
         {.id = "git", .label = "G2", .command = "g"},
         {.id = "jira", .label = "Jira", .command = "j", .description = "Tickets", .scope = "Tickets"},
         {.id = "other", .label = "Other", .command = "o", .scope = "tickets"}});
    const auto& entries = registry.manifest().entries;
    ASSERT_EQ(entries.size(), 15u);

    const ScopeEntry& deploy = entries[13];
    EXPECT_THAT(deploy.aliases, ElementsAre("deploy"));
    EXPECT_EQ(deploy.priority, 131);
    EXPECT_EQ(deploy.description, "Custom provider");
    EXPECT_EQ(deploy.title, "Deploy");
    EXPECT_EQ(deploy.group, ScopeGroup::custom);
    EXPECT_EQ(deploy.customProviderID, "deploy");
    EXPECT_EQ(deploy.spec, ScopeSpec::source(S::custom("deploy")));
    EXPECT_FALSE(deploy.supportsCompactNoSeparator);

    // "Git" and "git" collide with the built-in token and consume no priority; the first "tickets" wins.
    const ScopeEntry& jira = entries[14];
    EXPECT_THAT(jira.aliases, ElementsAre("tickets"));
    EXPECT_EQ(jira.priority, 132);
    EXPECT_EQ(jira.description, "Tickets");
    EXPECT_EQ(registry.projection().tokenToSpec.at("tickets"), ScopeSpec::source(S::custom("jira")));
    EXPECT_EQ(registry.projection().tokenToSpec.at("git"),
              ScopeSpec::multiSource({S::gitRef(), S::gitRemote()}));
    EXPECT_FALSE(registry.projection().compactTokens.contains("deploy"));
    EXPECT_EQ(registry.projection().canonicalTokens.back(), "tickets");

    std::vector<std::string> picked;
    for (const auto& entry : registry.entries({"tickets", "git", "missing", "a"})) {
        picked.push_back(entry.id);
    }
    EXPECT_THAT(picked, ElementsAre("git", "jira"));
}

TEST(ScopeSpecTest, MultiSourceIsAnOrderedListDistinctFromASingleSource) {
    const auto forward = ScopeSpec::multiSource({S::gitRef(), S::gitRemote()});
    const auto backward = ScopeSpec::multiSource({S::gitRemote(), S::gitRef()});
    EXPECT_NE(forward, backward);
    EXPECT_NE(forward.hash(), backward.hash());
    EXPECT_NE(ScopeSpec::source(S::manual()), ScopeSpec::multiSource({S::manual()}));
    EXPECT_NE(ScopeSpec::filter(ScopeFilter::appScoped), ScopeSpec::filter(ScopeFilter::urlOnly));
    const std::unordered_set<ScopeSpec> set{forward, backward, ScopeSpec::source(S::custom("a")),
                                            ScopeSpec::source(S::custom("a")),
                                            ScopeSpec::source(S::custom("b"))};
    EXPECT_EQ(set.size(), 4u);
    EXPECT_EQ(SearchOptions{true}, SearchOptions{true});
    EXPECT_NE(SearchOptions{true}, SearchOptions{});
}

} // namespace
} // namespace korvane
