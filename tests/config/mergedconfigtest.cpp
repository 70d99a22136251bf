#include "config/mergedconfig.h"

#include "support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

ManualSnippet snippet(const std::string& key, const std::string& expand) {
    return ManualSnippet{.key = key, .expand = expand};
}

CustomProviderConfig provider(const std::string& id, const std::string& command = "true") {
    CustomProviderConfig config;
    config.id = id;
    config.label = id;
    config.command = command;
    return config;
}

std::vector<std::string> keysAndExpansions(const std::vector<ManualSnippet>& snippets) {
    std::vector<std::string> result;
    for (const auto& s : snippets) {
        result.push_back(s.key + "=" + s.expand.value_or(""));
    }
    return result;
}

TEST(MergedConfigTest, ProjectSnippetsComeFirstAndReplaceGlobalOnesWithTheirKey) {
    test::LogCapture log;
    AppConfig global;
    global.snippets = {snippet("a", "ga"), snippet("b", "gb"), snippet("c", "gc")};
    ProjectConfig project;
    project.snippets = std::vector{snippet("b", "pb"), snippet("d", "pd"), snippet("d", "pd2")};

    const auto merged = MergedConfig::merge(global, project);

    EXPECT_THAT(keysAndExpansions(merged.snippets), ElementsAre("b=pb", "d=pd", "d=pd2", "a=ga", "c=gc"));
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Project config overrides global snippet: b"));
}

TEST(MergedConfigTest, ProjectWithoutSnippetsOrProvidersLeavesTheGlobalOnesAndLogsNothing) {
    test::LogCapture log;
    AppConfig global;
    global.trigger = "::";
    global.snippets = {snippet("a", "ga")};
    global.providers = std::vector<std::string>{"git"};

    const auto merged = MergedConfig::merge(global, ProjectConfig{});

    EXPECT_EQ(merged, MergedConfig::fromGlobal(global));
    EXPECT_EQ(merged.trigger, "::");
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST(MergedConfigTest, OnlyTheFourSearchSettingsOfAProjectApply) {
    SettingsConfig global;
    global.fontSize = 20;
    global.popupPosition = PopupPosition::center;

    EXPECT_EQ(MergedConfig::mergeSettings(global, std::nullopt), global);

    ProjectSettingsConfig depthOnly;
    depthOnly.scanDepth = 2;
    SettingsConfig expected = global;
    expected.scanDepth = 2;
    EXPECT_EQ(MergedConfig::mergeSettings(global, depthOnly), expected);

    ProjectSettingsConfig all{.caseSensitive = true,
                              .scanDepth = 9,
                              .ignorePatterns = std::vector<std::string>{"vendor"},
                              .maxBranchAgeDays = 7};
    const auto merged = MergedConfig::mergeSettings(global, all);
    EXPECT_TRUE(merged.caseSensitive);
    EXPECT_EQ(merged.scanDepth, 9);
    EXPECT_THAT(merged.ignorePatterns, ElementsAre("vendor"));
    EXPECT_EQ(merged.maxBranchAgeDays, 7);
    EXPECT_EQ(merged.fontSize, 20);
    EXPECT_EQ(merged.popupPosition, PopupPosition::center);
}

TEST(MergedConfigTest, ProviderListsAndIncludePathsFollowTheProjectWhenItHasThem) {
    AppConfig global;
    global.providers = std::vector<std::string>{"git", "files"};
    ProjectConfig project;
    project.providers = std::vector<std::string>{};
    project.includePaths = std::vector<std::string>{"../shared"};

    const auto merged = MergedConfig::merge(global, project);
    ASSERT_TRUE(merged.providers.has_value());
    EXPECT_THAT(*merged.providers, IsEmpty());
    EXPECT_EQ(merged.includePaths, project.includePaths);
    EXPECT_EQ(MergedConfig::merge(global, ProjectConfig{}).providers, global.providers);
    EXPECT_EQ(MergedConfig::fromGlobal(global).includePaths, std::nullopt);
}

TEST(MergedConfigTest, ProjectCustomProvidersReplaceGlobalOnesWithTheirIdSilently) {
    test::LogCapture log;
    AppConfig global;
    global.customProviders = std::vector{provider("jira", "global"), provider("wiki")};
    ProjectConfig project;
    project.customProviders = std::vector{provider("tickets"), provider("jira", "project")};

    const auto merged = MergedConfig::merge(global, project);
    ASSERT_TRUE(merged.customProviders.has_value());
    std::vector<std::string> ids;
    for (const auto& p : *merged.customProviders) {
        ids.push_back(p.id + ":" + p.command);
    }
    EXPECT_THAT(ids, ElementsAre("tickets:true", "jira:project", "wiki:true"));
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST(MergedConfigTest, NoCustomProvidersOnEitherSideIsNoValueRatherThanAnEmptyList) {
    AppConfig global;
    global.customProviders = std::vector<CustomProviderConfig>{};
    ProjectConfig project;
    project.customProviders = std::vector<CustomProviderConfig>{};
    EXPECT_EQ(MergedConfig::merge(global, project).customProviders, std::nullopt);
}

struct CategoryCase {
    const char* name;
    std::optional<std::vector<std::string>> providers;
    std::vector<std::string> customIds;
    std::vector<std::string> expected;
};

class ActiveCategoryTest : public testing::TestWithParam<CategoryCase> {};

TEST_P(ActiveCategoryTest, Resolves) {
    std::vector<CustomProviderConfig> customs;
    for (const auto& id : GetParam().customIds) {
        customs.push_back(provider(id));
    }
    EXPECT_EQ(resolveActiveCategoryIds(GetParam().providers, customs), GetParam().expected);
}

const std::vector<std::string> kDefault{"recent", "files", "app",  "manual",
                                        "skills", "git",   "docs", "scripts"};

std::vector<std::string> withDefault(std::vector<std::string> tail) {
    auto result = kDefault;
    result.insert(result.end(), tail.begin(), tail.end());
    return result;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActiveCategoryTest,
    testing::Values(CategoryCase{"Absent", std::nullopt, {}, kDefault},
                    CategoryCase{"Empty", std::vector<std::string>{}, {}, kDefault},
                    CategoryCase{"KnownKeptInOrderWithoutRepeats",
                                 std::vector<std::string>{"git", "files", "git", "nonsense"},
                                 {"jira"},
                                 {"git", "files", "jira"}},
                    CategoryCase{"OnlyUnknownFallsBack", std::vector<std::string>{"nonsense"}, {}, kDefault},
                    CategoryCase{"UnnamedCustomAfterDefault", std::nullopt, {"jira"}, withDefault({"jira"})},
                    CategoryCase{"NamedCustomKeepsItsPlace",
                                 std::vector<std::string>{"jira", "git"},
                                 {"wiki", "jira"},
                                 {"jira", "git", "wiki"}},
                    CategoryCase{"CaseMatters", std::vector<std::string>{"Git", "docs"}, {}, {"docs"}}),
    [](const testing::TestParamInfo<CategoryCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvane
