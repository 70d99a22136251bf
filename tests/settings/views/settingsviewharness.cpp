#include "settingsviewharness.h"

#include "base/fileio.h"
#include "uikit/confirmation.h"
#include "uikit/kittestsupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace korvane::test {

SettingsViewHarness::SettingsViewHarness(const std::string& fileText, std::optional<bool> dark) {
    ensureKitApplication();
    if (dark) {
        useDarkPalette(*dark);
    }
    const auto directory = home.path() / ".config" / "korvane";
    std::filesystem::create_directories(directory);
    if (!fileText.empty()) {
        writeFileAtomically(directory / "config.json", fileText);
    }
    loader = std::make_unique<ConfigLoader>(directory);
    store = std::make_unique<CountingStore>(*loader);
    viewModel = std::make_shared<ConfigurationViewModel>(
        *store, scheduler, [this] { return lastApp; }, [this] { return recentApps; });
    ConfigurationServices services{opener,   capabilities, applications, &scheduler, loader->configFilePath(),
                                   "korvane"};
    window = std::make_unique<ConfigurationWindow>(viewModel, services);
    window->resize(ConfigurationWindow::width, ConfigurationWindow::height);
    window->show();
}

SettingsViewHarness::~SettingsViewHarness() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(top)) {
            box->close();
        }
    }
    window.reset();
    flushDeletes();
}

std::string SettingsViewHarness::manySnippetsFile(int count) {
    nlohmann::json snippets = nlohmann::json::array();
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        nlohmann::json snippet = {{"key", "key" + n},
                                  {"expand", "Expansion text number " + n + " for the list"}};
        if (i % 3 == 0) {
            snippet["label"] = "Label " + n;
        }
        snippets.push_back(snippet);
    }
    return nlohmann::json{{"trigger", ";;"}, {"snippets", snippets}}.dump();
}

std::string SettingsViewHarness::fileText() const {
    auto text = readTextFile(loader->configFilePath());
    return text ? *text : std::string();
}

nlohmann::json SettingsViewHarness::file() const {
    return nlohmann::json::parse(fileText());
}

void SettingsViewHarness::click(const QString& name) {
    auto* button = visible<QAbstractButton>(name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    ASSERT_TRUE(button->isEnabled()) << name.toStdString();
    button->click();
}

void SettingsViewHarness::answerConfirmation(const char* button) {
    QMessageBox* box = Confirmation::openUnder(window.get());
    ASSERT_NE(box, nullptr);
    box->findChild<QPushButton*>(button)->click();
    flushDeletes();
}

void SettingsViewHarness::flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace korvane::test
