#pragma once

#include "config/configloader.h"
#include "platform/fake/fakeapplicationcatalog.h"
#include "platform/fake/fakeplatformcapabilities.h"
#include "platform/fake/fakeurlopener.h"
#include "platform/fake/manualscheduler.h"
#include "settings/configurationviewmodel.h"
#include "settings/views/configurationwindow.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"

#include <QAbstractButton>
#include <QWidget>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace korvane::test {

// The configuration store of a real loader in a temporary folder, counting the writes that reach it.
class CountingStore final : public ConfigStore {
public:
    explicit CountingStore(ConfigLoader& loader)
        : loader_(loader) {}
    Expected<AppConfig, ConfigLoadError> loadForEditing() override { return loader_.loadForEditing(); }
    Expected<AppConfig, ConfigUpdateError> updateConfig(const ConfigEdit& edit) override {
        return loader_.updateConfig([&](const AppConfig& onDisk) {
            auto changed = edit(onDisk);
            writes += changed ? 1 : 0;
            return changed;
        });
    }
    const std::filesystem::path& configFilePath() const override { return loader_.configFilePath(); }
    int writes = 0;

private:
    ConfigLoader& loader_;
};

// A settings window over a real configuration file in a temporary folder, on virtual time, with
// fake desktop services. The file is written before the window opens when `fileText` is given; the
// window opens in the tests' light or dark palette, or with no `dark` in the application's own.
class SettingsViewHarness {
public:
    explicit SettingsViewHarness(const std::string& fileText = {}, std::optional<bool> dark = false);
    ~SettingsViewHarness();

    // A configuration of `count` global snippets "key0", "key1", ..., every third with a label.
    static std::string manySnippetsFile(int count);

    std::string fileText() const;
    nlohmann::json file() const;
    // Lets the debounced save run.
    void settle() { scheduler.advance(1.0); }

    template <typename T = QWidget> T* find(const QString& name) const { return window->findChild<T*>(name); }
    // The visible widget of that type and name under `root` (rows rebuilt meanwhile are hidden).
    template <typename T = QWidget> T* visible(const QString& name, QWidget* root = nullptr) const {
        for (T* widget : (root ? root : window.get())->template findChildren<T*>(name)) {
            if (widget->isVisibleTo(window.get())) {
                return widget;
            }
        }
        return nullptr;
    }
    void click(const QString& name);
    // Clicks the open confirmation's button ("confirm" or "cancel").
    void answerConfirmation(const char* button);
    // Deletes the widgets that rebuilt rows left behind.
    static void flushDeletes();

    LogCapture log;
    TempDir home;
    // The footer abbreviates the home folder: this one.
    ScopedEnv homeVariable{"HOME", home.path().c_str()};
    ManualScheduler scheduler;
    std::unique_ptr<ConfigLoader> loader;
    std::unique_ptr<CountingStore> store;
    std::shared_ptr<FakeUrlOpener> opener = std::make_shared<FakeUrlOpener>();
    std::shared_ptr<FakePlatformCapabilities> capabilities = std::make_shared<FakePlatformCapabilities>();
    std::shared_ptr<FakeApplicationCatalog> applications = std::make_shared<FakeApplicationCatalog>();
    std::vector<ConfigurationViewModel::AppRecord> recentApps;
    std::optional<ConfigurationViewModel::AppRecord> lastApp;
    std::shared_ptr<ConfigurationViewModel> viewModel;
    std::unique_ptr<ConfigurationWindow> window;
};

} // namespace korvane::test
