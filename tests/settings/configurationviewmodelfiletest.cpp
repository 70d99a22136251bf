// The settings view model against a real configuration file: what a save keeps of the user's file.

#include "base/jsonreader.h"
#include "config/configloader.h"
#include "platform/fake/manualscheduler.h"
#include "settings/configurationviewmodel.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <chrono>
#include <functional>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::EndsWith;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using testing::UnorderedElementsAre;

// Every field the window does not edit, a custom provider with all ten fields, an invalid
// application block and a provider that collides with a built-in category (both dropped at run time).
constexpr const char* kRichFile = R"({
  "trigger": ";;",
  "snippets": [{"key": "sig", "expand": "Regards"}],
  "app_snippets": [
    {"bundle_id": "org.gnome.TextEditor", "app_name": "Text Editor", "snippets": [], "popup_position": "top-left"},
    {"bundle_id": " ", "app_name": "", "snippets": []}
  ],
  "settings": {"case_sensitive": true, "scan_depth": 7, "ignore_patterns": ["target"],
               "max_branch_age_days": 30, "file_insertion_mode": "absolute", "font_size": 14.5},
  "custom_providers": [
    {"id": "tickets", "label": "Tickets", "command": "tickets list", "description": "Open tickets",
     "scope": "tk", "badge": "TK", "empty_hint": "No tickets", "ttl": 60, "mode": "live", "debounce": 200},
    {"id": "files", "label": "Clash", "command": "true"}
  ],
  "providers": ["tickets", "files"]
})";

// The window's store over the real file, with a second writer that lands between the window's read
// of the file and its write: the popup's Ctrl+S save, through a loader of its own, on another thread.
// The writer either finishes in the gap or, while the window holds the file's lock, waits for it.
class GapWriterStore final : public ConfigStore {
public:
    GapWriterStore(ConfigLoader& loader, std::function<bool()> writer)
        : loader_(loader)
        , writer_(std::move(writer)) {}
    ~GapWriterStore() override {
        if (landed_.valid()) {
            landed_.wait();
        }
    }

    Expected<AppConfig, ConfigLoadError> loadForEditing() override {
        auto loaded = loader_.loadForEditing();
        land();
        return loaded;
    }
    Expected<AppConfig, ConfigUpdateError> updateConfig(const ConfigEdit& edit) override {
        return loader_.updateConfig([&](const AppConfig& onDisk) {
            land();
            return edit(onDisk);
        });
    }
    const std::filesystem::path& configFilePath() const override { return loader_.configFilePath(); }

    // The next read lets the writer in.
    void arm() { armed_ = true; }
    // Whether the writer has run and succeeded.
    bool writerSucceeded() { return landed_.valid() && landed_.get(); }

private:
    void land() {
        if (!armed_) {
            return;
        }
        armed_ = false;
        landed_ = std::async(std::launch::async, writer_);
        landed_.wait_for(std::chrono::milliseconds(300));
    }

    ConfigLoader& loader_;
    std::function<bool()> writer_;
    bool armed_ = false;
    std::future<bool> landed_;
};

class ConfigurationViewModelFileTest : public testing::Test {
protected:
    std::filesystem::path configFile() const { return home_.path() / "config.json"; }
    void writeFile(const std::string& text) const { home_.write("config.json", text); }
    AppConfig fileContents() const { return *AppConfig::parse(test::readFile(configFile()), false); }
    std::shared_ptr<ConfigurationViewModel> makeModel() {
        return std::make_shared<ConfigurationViewModel>(loader_, scheduler_, nullptr, nullptr);
    }
    static ManualSnippet snippet(std::string key, std::string expand) {
        return ManualSnippet{.key = std::move(key), .expand = std::move(expand)};
    }
    void setTrigger(ConfigurationViewModel& model, std::string trigger) {
        AppConfig draft = model.draftConfig();
        draft.trigger = std::move(trigger);
        model.setDraftConfig(draft);
        model.scheduleSave();
    }

    test::TempDir home_;
    test::LogCapture log_;
    ConfigLoader loader_{home_.path()};
    ManualScheduler scheduler_;
};

// Also: invalid blocks and custom providers survive a save, and so do their ids in "providers".
TEST_F(ConfigurationViewModelFileTest, ASaveKeepsEveryFieldItDoesNotEdit) {
    writeFile(kRichFile);
    const AppConfig before = fileContents();
    auto model = makeModel();
    model->saveSnippet(snippet("new", "text"), std::nullopt);
    scheduler_.advance(0.3);

    AppConfig after = fileContents();
    ASSERT_EQ(after.snippets.size(), 2u);
    EXPECT_EQ(after.snippets[1], snippet("new", "text"));
    after.snippets.pop_back();
    EXPECT_EQ(after, before);
    ASSERT_EQ(after.customProviders->size(), 2u);
    EXPECT_EQ((*after.customProviders)[0].mode, "live");
    EXPECT_THAT(model->enabledCategoryIds(), ElementsAre("tickets", "files"));
}

TEST_F(ConfigurationViewModelFileTest, AnUnparsableFileIsNeverOverwrittenAndSavingResumesOnceItParses) {
    const std::string broken = "{\"trigger\": \"::\",}";
    writeFile(broken);
    auto model = makeModel();
    EXPECT_THAT(model->configFileError().value_or(""), HasSubstr("Config parse error: "));
    setTrigger(*model, "!!");
    scheduler_.advance(0.3);
    EXPECT_EQ(test::readFile(configFile()), broken);
    EXPECT_EQ(model->saveGeneration(), 0u);

    writeFile(R"({"trigger": "::"})");
    model->reloadDraftFromDisk();
    EXPECT_EQ(model->configFileError(), std::nullopt);
    EXPECT_EQ(model->draftConfig().trigger, "!!");
    setTrigger(*model, "!!");
    scheduler_.advance(0.3);
    EXPECT_EQ(fileContents().trigger, "!!");
}

// Edits made while the file does not parse wait in the draft, the footer says so, and once the
// file parses they are laid over it by key and written once: whether the window opened on the
// broken file or it broke during the save's wait, and whether a reload or the next save sees it
// parse again.
TEST_F(ConfigurationViewModelFileTest, EditsWaitingForTheFileToParseAreLaidOverItAndWrittenOnce) {
    const std::string parsing = R"({"trigger": "::", "snippets": [{"key": "theirs", "expand": "T"}],
                                    "settings": {"scan_depth": 3}})";
    const std::string broken = "{\"trigger\": \"::\",}";
    struct Case {
        const char* name;
        bool openedBroken;
        bool reloadSeesItParse;
    };
    for (const Case row :
         {Case{"opened broken, reload", true, true}, Case{"opened broken, next save", true, false},
          Case{"broke during the wait, reload", false, true}}) {
        SCOPED_TRACE(row.name);
        writeFile(row.openedBroken ? broken : parsing);
        auto model = makeModel();
        EXPECT_THAT(model->configFileError().value_or(""), Not(HasSubstr("wait")));
        setTrigger(*model, "!!");
        model->saveSnippet(snippet("mine", "M"), std::nullopt);
        writeFile(broken);
        scheduler_.advance(0.3);
        model->reloadDraftFromDisk();
        EXPECT_EQ(test::readFile(configFile()), broken);
        EXPECT_THAT(model->configFileError().value_or(""), StartsWith("Config parse error: "));
        EXPECT_THAT(model->configFileError().value_or(""),
                    EndsWith(". Your changes wait until the file parses, then they are saved."));

        writeFile(parsing);
        if (row.reloadSeesItParse) {
            model->reloadDraftFromDisk();
            EXPECT_EQ(model->configFileError(), std::nullopt);
            scheduler_.advance(0.3);
        } else {
            model->flushPendingSave();
        }
        const AppConfig saved = fileContents();
        EXPECT_EQ(saved.trigger, "!!");
        EXPECT_THAT(saved.snippets, UnorderedElementsAre(snippet("mine", "M"), snippet("theirs", "T")));
        EXPECT_EQ(saved.settings.scanDepth, 3);
        EXPECT_EQ(model->saveGeneration(), 1u);
        EXPECT_EQ(model->draftConfig(), saved);
        EXPECT_EQ(model->configFileError(), std::nullopt);
    }
}

TEST_F(ConfigurationViewModelFileTest, AFailedWriteKeepsTheDraftDirtyAndIsRetriedOnTheNextChange) {
    writeFile(R"({"trigger": ";;"})");
    auto model = makeModel();
    std::filesystem::permissions(configFile(), std::filesystem::perms::owner_read);
    setTrigger(*model, "!!");
    scheduler_.advance(0.3);
    EXPECT_EQ(model->saveGeneration(), 0u);
    EXPECT_THAT(model->configFileError().value_or(""), HasSubstr("Failed to write config: "));
    EXPECT_EQ(fileContents().trigger, ";;");

    std::filesystem::permissions(configFile(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    model->setCategoryOrder({"git"});
    scheduler_.advance(0.3);
    EXPECT_EQ(model->saveGeneration(), 1u);
    EXPECT_EQ(model->configFileError(), std::nullopt);
    EXPECT_EQ(fileContents().trigger, "!!");
}

TEST_F(ConfigurationViewModelFileTest, OnlyAnotherContentReloadsAndUnsavedChangesAreRebasedOntoIt) {
    writeFile(R"({"trigger": ";;", "app_snippets": [{"bundle_id": "a", "app_name": "A", "snippets": []}]})");
    auto model = makeModel();
    model->setCategoryOrder({"git"});
    scheduler_.advance(0.3);
    model->setSelectedAppBundleId("a");

    // The model's own write, and a write of history.json beside it, are no change of content.
    home_.write("history.json", "{}");
    model->reloadDraftFromDisk();
    EXPECT_EQ(model->selectedAppBundleId(), "a");

    model->saveSnippet(snippet("k", "v"), std::nullopt);
    writeFile(R"({"trigger": "::", "app_snippets": [{"bundle_id": "a", "app_name": "A", "snippets": []}],
                  "providers": ["git"]})");
    model->reloadDraftFromDisk();
    EXPECT_EQ(model->selectedAppBundleId(), std::nullopt);
    EXPECT_EQ(model->draftConfig().trigger, "::");
    EXPECT_EQ((*model->draftConfig().appSnippets)[0].snippets.size(), 1u);
    scheduler_.advance(0.3);
    const AppConfig saved = fileContents();
    EXPECT_EQ(saved.trigger, "::");
    EXPECT_THAT((*saved.appSnippets)[0].snippets, ElementsAre(snippet("k", "v")));
    EXPECT_EQ(model->saveGeneration(), 2u);
}

TEST_F(ConfigurationViewModelFileTest, AnEditOfTheFileBetweenLoadAndSaveIsKept) {
    writeFile(R"({"trigger": ";;", "settings": {"scan_depth": 3}})");
    auto model = makeModel();
    AppConfig draft = model->draftConfig();
    draft.settings.caseSensitive = true;
    model->setDraftConfig(draft);
    model->scheduleSave();
    // The popup saves a snippet and an editor changes another setting before the window's save.
    ASSERT_TRUE(loader_.addSnippet(snippet("popup", "text")));
    AppConfig edited = fileContents();
    edited.settings.scanDepth = 9;
    ASSERT_TRUE(loader_.saveConfig(edited));
    scheduler_.advance(0.3);

    const AppConfig saved = fileContents();
    EXPECT_TRUE(saved.settings.caseSensitive);
    EXPECT_EQ(saved.settings.scanDepth, 9);
    EXPECT_THAT(saved.snippets, ElementsAre(snippet("popup", "text")));
    EXPECT_EQ(model->draftConfig(), saved);
}

// Both sides edit the same list: the window's rows and the file's other rows are kept, row by row.
TEST_F(ConfigurationViewModelFileTest, SnippetsAddedToTheFileMeanwhileSurviveTheWindowsSnippetEdits) {
    writeFile(
        R"({"snippets": [{"key": "a", "expand": "A"}, {"key": "b", "expand": "B"}, {"key": "c", "expand": "C"}],
                  "app_snippets": [{"bundle_id": "x", "app_name": "X", "snippets": []}]})");
    auto model = makeModel();
    model->saveSnippet(snippet("win", "from the window"), std::nullopt);
    model->saveSnippet(snippet("a", "A edited in the window"), std::string("a"), 0);
    // Before the window's save: the popup saves a snippet, an editor changes "b", drops "c" and
    // adds an application.
    ASSERT_TRUE(loader_.addSnippet(snippet("popup", "text")));
    AppConfig edited = fileContents();
    edited.snippets[1].expand = "B edited elsewhere";
    edited.snippets.erase(edited.snippets.begin() + 2);
    edited.appSnippets->push_back(AppSnippetConfig{"y", "Y", {}, std::nullopt});
    ASSERT_TRUE(loader_.saveConfig(edited));
    scheduler_.advance(0.3);

    const AppConfig saved = fileContents();
    EXPECT_THAT(saved.snippets,
                ElementsAre(snippet("a", "A edited in the window"), snippet("b", "B edited elsewhere"),
                            snippet("win", "from the window"), snippet("popup", "text")));
    EXPECT_EQ(saved.appSnippets->size(), 2u);
    EXPECT_EQ(model->draftConfig(), saved);

    // A reload while the window's edit is still unsaved keeps both the same way.
    model->saveSnippet(snippet("later", "L"), std::nullopt);
    ASSERT_TRUE(loader_.addSnippet(snippet("popup2", "text")));
    model->reloadDraftFromDisk();
    scheduler_.advance(0.3);
    const AppConfig reloaded = fileContents();
    ASSERT_EQ(reloaded.snippets.size(), 6u);
    EXPECT_EQ(reloaded.snippets[4].key, "later");
    EXPECT_EQ(reloaded.snippets[5].key, "popup2");
}

TEST_F(ConfigurationViewModelFileTest, ASnippetSavedFromThePopupBetweenTheWindowsReadAndWriteIsKept) {
    writeFile(R"({"trigger": ";;", "snippets": [{"key": "sig", "expand": "Regards"}]})");
    GapWriterStore store(loader_, [directory = home_.path()] {
        return ConfigLoader(directory).addSnippet(snippet("popup", "text")).has_value();
    });
    auto model = std::make_shared<ConfigurationViewModel>(store, scheduler_, nullptr, nullptr);
    model->saveSnippet(snippet("window", "W"), std::nullopt);
    store.arm();
    scheduler_.advance(0.3);

    EXPECT_TRUE(store.writerSucceeded());
    EXPECT_THAT(fileContents().snippets,
                ElementsAre(snippet("sig", "Regards"), snippet("window", "W"), snippet("popup", "text")));
}

// The window removes its applications while another writer adds one, then removes that one too.
TEST_F(ConfigurationViewModelFileTest, ApplicationsAddedElsewhereSurviveTheWindowRemovingItsLast) {
    writeFile(R"({"app_snippets": [{"bundle_id": "a", "app_name": "A", "snippets": []}]})");
    auto model = makeModel();
    model->removeApp("a");
    AppConfig edited = fileContents();
    edited.appSnippets->push_back(AppSnippetConfig{"y", "Y", {}, std::nullopt});
    ASSERT_TRUE(loader_.saveConfig(edited));
    scheduler_.advance(0.3);
    const std::vector<AppSnippetConfig> onlyTheirs = {{"y", "Y", {}, std::nullopt}};
    EXPECT_EQ(fileContents().appSnippets, onlyTheirs);

    model->removeApp("y");
    scheduler_.advance(0.3);
    EXPECT_FALSE(parseJson(test::readFile(configFile()))->contains("app_snippets"));
}

// The window adds and removes an application, leaving no list where the file had an empty one,
// while an editor writes an application twice: the file stays as the editor wrote it.
TEST_F(ConfigurationViewModelFileTest, AWindowThatLeftTheApplicationsAsTheyWereKeepsTheFileAsItIs) {
    writeFile(R"({"app_snippets": []})");
    auto model = makeModel();
    model->addApp("n", "N");
    model->removeApp("n");
    const std::string theirs = R"({"app_snippets": [
        {"bundle_id": "x", "app_name": "X", "snippets": [{"key": "a", "expand": "A"}]},
        {"bundle_id": "x", "app_name": "X", "snippets": [{"key": "a", "expand": "A"}]}]})";
    writeFile(theirs);
    scheduler_.advance(0.3);
    EXPECT_EQ(test::readFile(configFile()), theirs);
}

TEST_F(ConfigurationViewModelFileTest, APendingSaveIsWrittenWhenFlushedAndDroppedOnlyWithoutAFlush) {
    writeFile(R"({"trigger": ";;"})");
    auto model = makeModel();
    setTrigger(*model, "!!");
    model->flushPendingSave();
    EXPECT_EQ(fileContents().trigger, "!!");
    EXPECT_FALSE(model->hasPendingSave());

    setTrigger(*model, "??");
    model.reset();
    scheduler_.advance(1);
    EXPECT_EQ(fileContents().trigger, "!!");
}

TEST_F(ConfigurationViewModelFileTest, RowsWithARepeatedKeyAreEditedAndDeletedByPosition) {
    writeFile(R"({"snippets": [{"key": "a", "expand": "first"}, {"key": "a", "expand": "second"},
                               {"key": "b", "expand": "third"}]})");
    auto model = makeModel();
    model->saveSnippet(snippet("a", "edited"), std::string("a"), 1);
    model->setSelectedSnippetKey("a");
    model->setSelectedSnippetIndex(0);
    model->deleteSnippet();
    // A renamed key is still checked against every row.
    model->saveSnippet(snippet("a", "x"), std::string("b"), 1);
    EXPECT_EQ(model->snippetError(), "Key 'a' already exists in this context");
    scheduler_.advance(0.3);
    EXPECT_THAT(fileContents().snippets, ElementsAre(snippet("a", "edited"), snippet("b", "third")));
}

TEST_F(ConfigurationViewModelFileTest, ARepeatedApplicationIsShownAndEditedAsItsLastBlock) {
    writeFile(R"({"app_snippets": [
        {"bundle_id": "a", "app_name": "Old", "snippets": [{"key": "x", "expand": "old"}]},
        {"bundle_id": "b", "app_name": "B", "snippets": []},
        {"bundle_id": "a", "app_name": "New", "snippets": [{"key": "x", "expand": "new"}]}]})");
    auto model = makeModel();
    const auto shown = model->shownApps();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].appName, "New");
    model->setSelectedAppBundleId("a");
    EXPECT_THAT(model->currentSnippets(), ElementsAre(snippet("x", "new")));
    model->saveSnippet(snippet("x", "edited"), std::string("x"), 0);
    model->setPopupPosition(PopupPosition::center);
    scheduler_.advance(0.3);
    const auto apps = *fileContents().appSnippets;
    EXPECT_THAT(apps[0].snippets, ElementsAre(snippet("x", "old")));
    EXPECT_THAT(apps[2].snippets, ElementsAre(snippet("x", "edited")));
    EXPECT_EQ(apps[2].popupPosition, PopupPosition::center);
    EXPECT_EQ(ConfigLoader::appSnippetsByBundleId(fileContents())["a"], apps[2].snippets);
}

} // namespace
} // namespace korvane
