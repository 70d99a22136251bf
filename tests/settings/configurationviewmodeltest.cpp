#include "settings/configurationviewmodel.h"

#include "platform/fake/manualscheduler.h"
#include "support/fakeconfigstore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::ElementsAre;
using Field = ConfigurationViewModel::Field;

class ConfigurationViewModelTest : public testing::Test {
protected:
    std::shared_ptr<ConfigurationViewModel> makeModel() {
        return std::make_shared<ConfigurationViewModel>(store_, scheduler_, nullptr, nullptr);
    }

    ManualScheduler scheduler_;
    test::FakeConfigStore store_{AppConfig::defaultFile()};
};

TEST_F(ConfigurationViewModelTest, ABurstOfChangesIsOneWriteAfterTheLastAndNoChangeIsNoWrite) {
    auto model = makeModel();
    model->performSave();
    EXPECT_EQ(store_.writeCount, 0);

    for (int i = 0; i < 5; ++i) {
        AppConfig draft = model->draftConfig();
        draft.trigger = std::string(i + 1, ':');
        model->setDraftConfig(draft);
        model->scheduleSave();
        scheduler_.advance(0.29);
    }
    EXPECT_EQ(store_.writeCount, 0);
    scheduler_.advance(0.01);
    EXPECT_EQ(store_.writeCount, 1);
    EXPECT_EQ(store_.file.trigger, ":::::");
    EXPECT_EQ(model->saveGeneration(), 1u);
    EXPECT_FALSE(model->hasPendingSave());

    AppConfig draft = model->draftConfig();
    draft.settings.caseSensitive = true;
    model->setDraftConfig(draft);
    model->scheduleSave();
    draft.settings.caseSensitive = false;
    model->setDraftConfig(draft);
    model->scheduleSave();
    scheduler_.advance(1);
    EXPECT_EQ(store_.writeCount, 1);
    EXPECT_EQ(model->saveGeneration(), 1u);
}

TEST_F(ConfigurationViewModelTest, SetterNotifiesOnlyOnARealChange) {
    auto model = makeModel();
    std::vector<Field> changes;
    model->addObserver([&](Field field) { changes.push_back(field); });
    model->setSnippetSearchQuery("a");
    model->setSnippetSearchQuery("a");
    model->setDraftConfig(model->draftConfig());
    EXPECT_THAT(changes, ElementsAre(Field::snippetSearchQuery, Field::draftConfig));
}

TEST_F(ConfigurationViewModelTest, AppAndSnippetMessagesInTheOrderTheyAreChecked) {
    auto model = makeModel();
    using Message = const std::optional<std::string>& (ConfigurationViewModel::*)() const;
    const Message app = &ConfigurationViewModel::appError;
    const Message snippet = &ConfigurationViewModel::snippetError;
    const auto make = [](std::string key, std::optional<std::string> expand, std::optional<std::string> url) {
        return ManualSnippet{.key = std::move(key), .expand = std::move(expand), .url = std::move(url)};
    };
    struct Case {
        std::function<void()> action;
        Message message;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {[&] { model->addApp("  ", ""); }, app, "Bundle ID cannot be empty"},
        {[&] { model->addApp("org.x", " \t"); }, app, "App name cannot be empty"},
        {[&] { model->addApp("org.x", "X"); }, app, std::nullopt},
        {[&] { model->addApp("org.x", "Again"); }, app, "App with bundle ID 'org.x' already exists"},
        // Compared and stored as given: a leading space makes another application, now selected.
        {[&] { model->addApp(" org.x", "Spaced"); }, app, std::nullopt},
        {[&] { model->saveSnippet(make(" ", "t", {}), {}); }, snippet,
         "Snippet key cannot be empty or whitespace-only"},
        {[&] { model->saveSnippet(make("k", "t", "https://a"), {}); }, snippet,
         "Snippet 'k' has both 'expand' and 'url' - only one allowed"},
        {[&] { model->saveSnippet(make("k", "", ""), {}); }, snippet,
         "Snippet 'k' must have either 'expand' or 'url'"},
        {[&] { model->saveSnippet(make("k", {}, "nourl"), {}); }, snippet,
         "Snippet 'k' has invalid URL (must have a scheme): nourl"},
        // "sig" exists globally only: free in the application's scope.
        {[&] { model->saveSnippet(make("sig", "t", {}), {}); }, snippet, std::nullopt},
        {[&] { model->saveSnippet(make("sig", "u", {}), {}); }, snippet,
         "Key 'sig' already exists in this context"},
        {[&] { model->saveSnippet(make("sig", "u", {}), std::string("sig")); }, snippet, std::nullopt},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        cases[i].action();
        EXPECT_EQ((*model.*cases[i].message)(), cases[i].expected) << "case " << i;
    }
    EXPECT_EQ(model->selectedAppBundleId(), " org.x");
    EXPECT_THAT(model->currentSnippets(), ElementsAre(make("sig", "u", {})));
    EXPECT_EQ(model->draftConfig().snippets[0].expand, "Best regards,\nKorvane User");
}

TEST_F(ConfigurationViewModelTest, ShownSourcesKeepKnownIdsOnceAndHidingTheLastStoresAnEmptyList) {
    store_.file.providers = std::vector<std::string>{"git", "git", "files", "nope"};
    auto model = makeModel();
    EXPECT_THAT(model->enabledCategoryIds(), ElementsAre("git", "files"));
    EXPECT_EQ(model->hiddenCategoryIds().size(), 6u);

    AppConfig draft = model->draftConfig();
    draft.providers = std::vector<std::string>{"nope", "never"};
    model->setDraftConfig(draft);
    EXPECT_EQ(model->enabledCategoryIds(), defaultActiveCategories());
    EXPECT_TRUE(model->hiddenCategoryIds().empty());

    model->setCategoryOrder({"docs"});
    model->toggleCategory("docs");
    EXPECT_EQ(model->draftConfig().providers, std::vector<std::string>{});
    EXPECT_EQ(model->enabledCategoryIds(), defaultActiveCategories());
    model->setCategoryOrder({"docs"});
    model->toggleCategory("git");
    EXPECT_THAT(*model->draftConfig().providers, ElementsAre("docs", "git"));
}

TEST_F(ConfigurationViewModelTest, SearchMatchesKeyLabelOrExpansionIgnoringCase) {
    store_.file.snippets = {
        ManualSnippet{.key = "a", .expand = "x", .label = "Hello World"},
        ManualSnippet{.key = "b", .url = "https://world.example", .description = "world"},
        ManualSnippet{.key = "WORLDLY", .expand = "x"},
    };
    auto model = makeModel();
    model->setSnippetSearchQuery("WORLD");
    const auto rows = model->filteredSnippetRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].index, 0u);
    EXPECT_EQ(rows[1].index, 2u);
    model->setSnippetSearchQuery(" ");
    EXPECT_EQ(model->filteredSnippets().size(), 1u);
}

} // namespace
} // namespace korvane
