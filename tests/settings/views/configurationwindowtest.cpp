#include "settings/views/configurationfooter.h"
#include "settings/views/configurationsidebar.h"
#include "settings/views/configurationview.h"
#include "settings/views/snippetstabview.h"
#include "settingsviewharness.h"
#include "uikit/kittestsupport.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTest>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace korvane {
namespace {

const char* const sampleFile = R"({
  "trigger": ";;",
  "snippets": [
    {"key": "sig", "expand": "Best regards,\nAda", "label": "Signature"},
    {"key": "docs", "url": "https://example.org/docs", "description": "Team docs"},
    {"key": "date", "expand": "{{date}}"}
  ],
  "app_snippets": [
    {"bundle_id": "org.gnome.TextEditor", "app_name": "Text Editor", "snippets": [{"key": "todo", "expand": "TODO: "}]}
  ],
  "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": ["node_modules"], "max_branch_age_days": 90,
               "popup_position": "center", "font_size": 30, "row_padding": 30},
  "custom_providers": [{"id": "tickets", "label": "Tickets", "command": "echo", "mode": "live", "ttl": 60}]
}
)";

// Opening the window, walking both pages and closing it writes nothing at all, and the
// file stays byte for byte as it was, out-of-range values and foreign keys included.
TEST(ConfigurationWindowTest, OpenBrowseAndCloseWritesNothing) {
    test::SettingsViewHarness h(sampleFile);
    const std::string before = h.fileText();
    h.window->view().setPage(ConfigurationPage::preferences);
    h.window->view().setPage(ConfigurationPage::snippets);
    h.click("tab:org.gnome.TextEditor");
    h.click("tab:global");
    h.window->view().toggleSidebar();
    h.window->view().toggleSidebar();
    h.window->close();
    h.settle();
    EXPECT_EQ(h.store->writes, 0);
    EXPECT_EQ(h.fileText(), before);
    EXPECT_EQ(h.viewModel->saveGeneration(), 0u);
}

TEST(ConfigurationWindowTest, FrameSidebarFooterAndPagesSurviveClosing) {
    test::SettingsViewHarness h;
    ConfigurationWindow& window = *h.window;
    EXPECT_EQ(window.windowTitle(), "Korvane Configuration");
    EXPECT_EQ(window.minimumSize(), QSize(900, 650));
    EXPECT_EQ(h.window->view().sidebar().width(), 160);

    auto* path = h.find<QLabel>("configPath");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(path->text(), "~/.config/korvane/config.json");
    EXPECT_EQ(ConfigurationFooter::abbreviatedPath("/home/ann/.config/k.json", "/home/ann/"),
              "~/.config/k.json");
    EXPECT_EQ(ConfigurationFooter::abbreviatedPath("/home/annex/k.json", "/home/ann"), "/home/annex/k.json");

    // "Edit Config File" hands over a file URL and creates nothing.
    h.click("editConfigFile");
    ASSERT_EQ(h.opener->opened().size(), 1u);
    const std::string url = h.opener->opened().front();
    EXPECT_EQ(url.rfind("file:///", 0), 0u) << url;
    EXPECT_NE(url.find("/.config/korvane/config.json"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(h.loader->configFilePath()));

    // The sidebar chooses the page; closing and showing again keeps page and sidebar state.
    h.window->view().sidebar().setCurrentRow(1);
    EXPECT_EQ(h.window->view().page(), ConfigurationPage::preferences);
    EXPECT_EQ(h.find<QStackedWidget>("pages")->currentIndex(), 1);
    h.click("toggleSidebar");
    EXPECT_FALSE(h.window->view().sidebarVisible());
    window.close();
    window.showAndActivate();
    EXPECT_EQ(h.window->view().page(), ConfigurationPage::preferences);
    EXPECT_FALSE(h.window->view().sidebarVisible());
    h.click("toggleSidebar");
    EXPECT_TRUE(h.window->view().sidebarVisible());
    EXPECT_EQ(h.find<QStackedWidget>("pages")->currentIndex(), 1);
}

// A file that does not parse is left alone; the footer says why, until a save succeeds again.
TEST(ConfigurationWindowTest, FooterShowsWhyTheFileIsNotWritten) {
    test::SettingsViewHarness h(sampleFile);
    auto* error = h.find<QLabel>("configFileError");
    ASSERT_NE(error, nullptr);
    EXPECT_FALSE(error->isVisibleTo(h.window.get()));

    const std::string broken = R"({"snippets": [ {"key": "half")";
    {
        std::ofstream out(h.loader->configFilePath());
        out << broken;
    }
    AppConfig edited = h.viewModel->draftConfig();
    edited.snippets.push_back(ManualSnippet{.key = "zz", .expand = "zzz"});
    h.viewModel->setDraftConfig(edited);
    h.viewModel->scheduleSave();
    h.settle();
    EXPECT_EQ(h.fileText(), broken);
    EXPECT_TRUE(error->isVisibleTo(h.window.get()));
    EXPECT_NE(error->text().indexOf("Config parse error"), -1) << error->text().toStdString();
    EXPECT_EQ(error->accessibleName(), error->text());

    // Mended on disk: the next change is written and the message goes.
    {
        std::ofstream out(h.loader->configFilePath());
        out << sampleFile;
    }
    edited.snippets.push_back(ManualSnippet{.key = "yy", .expand = "yyy"});
    h.viewModel->setDraftConfig(edited);
    h.viewModel->scheduleSave();
    h.settle();
    EXPECT_NE(h.fileText().find("\"yy\""), std::string::npos);
    EXPECT_FALSE(error->isVisibleTo(h.window.get()));
}

// A configuration file that is a folder or a FIFO is called what it is, whether the window opens on
// it, reloads it or reads it before a save; it is never opened.
TEST(ConfigurationWindowTest, FooterSaysTheFileIsNotARegularFile) {
    test::SettingsViewHarness h(sampleFile);
    const std::filesystem::path path = h.loader->configFilePath();
    const std::string expected = "Config file error: " + path.string() + " is not a regular file";
    auto* error = h.find<QLabel>("configFileError");
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    h.viewModel->reloadDraftFromDisk();
    EXPECT_EQ(error->text().toStdString(), expected);

    std::filesystem::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    AppConfig edited = h.viewModel->draftConfig();
    edited.trigger = "!!";
    h.viewModel->setDraftConfig(edited);
    h.viewModel->scheduleSave();
    h.settle();
    EXPECT_EQ(error->text().toStdString(),
              expected + ". Your changes wait until the file can be read, then they are saved.");
    EXPECT_EQ(ConfigurationViewModel(*h.store, h.scheduler, nullptr, nullptr).configFileError(), expected);
    EXPECT_TRUE(std::filesystem::is_fifo(path));
}

// Every control a screen reader reaches has a name: its label, its placeholder, or its tooltip.
TEST(ConfigurationWindowTest, EveryControlHasAnAccessibleName) {
    test::SettingsViewHarness h(sampleFile);
    h.click("addSnippet");
    h.click("addApp");
    h.window->view().setPage(ConfigurationPage::preferences);
    std::vector<std::string> unnamed;
    for (QWidget* widget : h.window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(h.window.get()) || widget->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QLineEdit*>(widget) &&
            !qobject_cast<QPlainTextEdit*>(widget) && !qobject_cast<QAbstractItemView*>(widget) &&
            !widget->inherits("QComboBox")) {
            continue;
        }
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        const QString name = accessible ? accessible->text(QAccessible::Name) : QString();
        if (name.trimmed().isEmpty()) {
            unnamed.push_back(widget->metaObject()->className() + std::string(" ") +
                              widget->objectName().toStdString());
        }
    }
    EXPECT_TRUE(unnamed.empty()) << ::testing::PrintToString(unnamed);
}

// Pictures of every page state in light and dark, for looking at.
TEST(ConfigurationWindowTest, Snapshots) {
    for (bool dark : {false, true}) {
        const std::string theme = dark ? "-dark" : "-light";
        {
            test::SettingsViewHarness h(sampleFile, dark);
            test::snapshotWidget("snippets" + theme, *h.window, QSize(900, 650));
            h.click("tab:org.gnome.TextEditor");
            test::snapshotWidget("snippets-app" + theme, *h.window, QSize(900, 650));
            h.click("tab:global");
            h.visible<QAbstractButton>("snippetLine")->click();
            test::snapshotWidget("snippets-editing" + theme, *h.window, QSize(900, 650));
            h.click("addApp");
            test::snapshotWidget("snippets-capture" + theme, *h.window, QSize(900, 650));
            h.window->view().setPage(ConfigurationPage::preferences);
            test::snapshotWidget("preferences" + theme, *h.window, QSize(900, 650));
            h.window->resize(900, 1700);
            test::snapshotWidget("preferences-full" + theme, *h.window, QSize(900, 1700));
        }
        {
            test::SettingsViewHarness h({}, dark);
            h.viewModel->setSnippetSearchQuery("");
            AppConfig empty = h.viewModel->draftConfig();
            empty.snippets.clear();
            h.viewModel->setDraftConfig(empty);
            test::snapshotWidget("snippets-empty" + theme, *h.window, QSize(900, 650));
            h.click("addSnippetEmpty");
            test::snapshotWidget("snippets-adding" + theme, *h.window, QSize(900, 650));
        }
        {
            test::SettingsViewHarness h(test::SettingsViewHarness::manySnippetsFile(3000), dark);
            test::snapshotWidget("snippets-3000" + theme, *h.window, QSize(900, 650));
            auto* bar = h.find<QScrollArea>("snippetList")->verticalScrollBar();
            bar->setValue(bar->maximum() / 2);
            test::snapshotWidget("snippets-3000-middle" + theme, *h.window, QSize(900, 650));
            h.viewModel->setExpandedSnippetIndex(1500);
            h.viewModel->setExpandedSnippetKey("key1500");
            test::snapshotWidget("snippets-3000-editing" + theme, *h.window, QSize(900, 650));
            h.viewModel->setExpandedSnippetKey(std::nullopt);
            h.visible<QLineEdit>("searchSnippets")->setText("number 2");
            test::snapshotWidget("snippets-3000-search" + theme, *h.window, QSize(900, 650));
        }
    }
}

} // namespace
} // namespace korvane
