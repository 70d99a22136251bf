#include "platform/fake/fakeclock.h"
#include "settings/installedappscache.h"
#include "settings/installedappsscan.h"
#include "settings/views/appcaptureview.h"
#include "settings/views/configurationview.h"
#include "settings/views/installedappsview.h"
#include "settings/views/snippetscopetabbar.h"
#include "settings/views/snippetstabview.h"
#include "settingsviewharness.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

namespace korvane {
namespace {

CatalogApplication app(std::string id, std::string name, std::string path = {}) {
    return CatalogApplication{std::move(id), std::move(name), std::move(path), {}};
}

std::vector<std::string> ids(const std::vector<InstalledApp>& apps) {
    std::vector<std::string> result;
    for (const auto& a : apps) {
        result.push_back(a.bundleId);
    }
    return result;
}

// The list: the first folder wins an identifier, running applications add only new ones, Korvane is
// never listed, and the sort ignores case and keeps equal names in scan order.
TEST(InstalledAppsScanTest, MergesDeduplicatesAndSorts) {
    const auto apps = InstalledAppsScan::scanInstalledApps(
        {app("org.gnome.TextEditor", "Text Editor", "/home/u/.local/share/applications/a.desktop"),
         app("xterm", "XTerm"), app("org.gnome.TextEditor", "Text Editor (system)"),
         app("korvane", "Korvane"), app("b.twin", "twin"), app("a.twin", "Twin")},
        {app("xterm", "xterm running"), app("dev.build", "Zed Dev", "/proc/42/exe"),
         app("korvane", "Korvane")},
        "korvane");
    EXPECT_EQ(ids(apps),
              (std::vector<std::string>{"org.gnome.TextEditor", "b.twin", "a.twin", "xterm", "dev.build"}));
    EXPECT_EQ(apps[0].path, "/home/u/.local/share/applications/a.desktop");

    EXPECT_EQ(ids(InstalledAppsScan::filteredApps(apps, "EDIT")),
              (std::vector<std::string>{"org.gnome.TextEditor"}));
    EXPECT_EQ(ids(InstalledAppsScan::filteredApps(apps, "gnome")),
              (std::vector<std::string>{"org.gnome.TextEditor"}));
    EXPECT_EQ(ids(InstalledAppsScan::filteredApps(apps, "text ")),
              (std::vector<std::string>{"org.gnome.TextEditor"}));
    EXPECT_TRUE(InstalledAppsScan::filteredApps(apps, "twin ").empty()) << "a trailing space counts";
    EXPECT_EQ(InstalledAppsScan::filteredApps(apps, "").size(), apps.size());
}

// Fresh for 300 s of the monotonic clock, whatever the wall clock does.
TEST(InstalledAppsCacheTest, FreshForFiveMinutesOfMonotonicTime) {
    FakeClock clock;
    InstalledAppsCache cache(clock);
    EXPECT_FALSE(cache.cachedAppsIfFresh());
    cache.store({InstalledApp{"xterm", "XTerm", ""}});
    clock.advance(299.9);
    ASSERT_TRUE(cache.cachedAppsIfFresh());
    EXPECT_EQ(cache.cachedAppsIfFresh()->front().bundleId, "xterm");
    clock.advance(0.1);
    EXPECT_FALSE(cache.cachedAppsIfFresh());
}

class ApplicationsTest : public ::testing::Test {
protected:
    AppCaptureView* capture() { return h.window->view().snippetsPage().tabBar().capture(); }
    void openCapture() {
        h.click("addApp");
        ASSERT_NE(capture(), nullptr);
        ASSERT_TRUE(capture()->isVisible());
    }
    QString appError() {
        auto* label = h.visible<QLabel>("appError", capture());
        return label ? label->text() : QString();
    }

    test::SettingsViewHarness h{R"({"trigger": ";;", "snippets": [], "app_snippets": [
        {"bundle_id": "xterm", "app_name": "XTerm", "snippets": [{"key": "ll", "expand": "ls -l"}]}],
        "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})"};
};

// The capture popover's routes. A spaces-only identifier shows the view model's message
// and keeps the popover; a manual entry adds, selects and closes; "Remove App" asks first.
TEST_F(ApplicationsTest, CaptureManualEntryAndRemoval) {
    openCapture();
    EXPECT_EQ(h.visible<QWidget>("recent:xterm", capture()), nullptr)
        << "no recent section without recent apps";
    auto* bundle = h.visible<QLineEdit>("manualBundleId", capture());
    auto* name = h.visible<QLineEdit>("manualAppName", capture());
    EXPECT_EQ(bundle->toolTip(), "e.g., org.gnome.TextEditor");
    QTest::keyClicks(bundle, "   ");
    EXPECT_FALSE(h.visible<QAbstractButton>("addManual", capture())->isEnabled());
    QTest::keyClicks(name, "Editor");
    h.click("addManual");
    EXPECT_EQ(appError(), "Bundle ID cannot be empty");
    ASSERT_NE(capture(), nullptr);
    bundle->clear();
    QTest::keyClicks(bundle, "org.gnome.TextEditor");
    h.click("addManual");
    test::SettingsViewHarness::flushDeletes();
    EXPECT_EQ(capture(), nullptr) << "success closes the popover";
    EXPECT_EQ(h.viewModel->selectedAppBundleId(), "org.gnome.TextEditor");
    ASSERT_NE(h.visible<QAbstractButton>("tab:org.gnome.TextEditor"), nullptr);
    // Each application's icon is looked up once, however often the tabs are rebuilt.
    EXPECT_EQ(h.applications->iconLookups["xterm"], 1);
    EXPECT_EQ(h.applications->iconLookups["org.gnome.TextEditor"], 1);

    // "Capture Current App" with nothing known and Korvane frontmost adds nothing and says nothing.
    openCapture();
    h.applications->frontmost = CatalogApplication{"korvane", "Korvane", {}, {}};
    h.click("captureCurrentApp");
    EXPECT_NE(capture(), nullptr);
    EXPECT_EQ(appError(), "");
    h.lastApp = ConfigurationViewModel::AppRecord{"xterm", "XTerm"};
    h.click("captureCurrentApp");
    EXPECT_EQ(appError(), "App with bundle ID 'xterm' already exists");
    QTest::keyClick(h.visible<QLineEdit>("manualBundleId", capture()), Qt::Key_Escape);
    test::SettingsViewHarness::flushDeletes();
    EXPECT_EQ(capture(), nullptr);

    // "Remove App", then Cancel: nothing changes; then Remove: the block and its snippets go.
    h.settle();
    const int writes = h.store->writes;
    auto* tab = h.visible<QWidget>("tab:xterm");
    emit tab->customContextMenuRequested(QPoint(2, 2));
    auto* menu = h.window->findChild<QMenu*>("tabMenu");
    ASSERT_NE(menu, nullptr);
    menu->actions().front()->trigger();
    EXPECT_EQ(h.window->view().snippetsPage().tabBar().pendingRemoveBundleId(), "xterm");
    h.answerConfirmation("cancel");
    EXPECT_FALSE(h.window->view().snippetsPage().tabBar().pendingRemoveBundleId());
    h.settle();
    EXPECT_EQ(h.store->writes, writes);
    emit h.visible<QWidget>("tab:xterm")->customContextMenuRequested(QPoint(2, 2));
    h.window->findChildren<QMenu*>("tabMenu").back()->actions().front()->trigger();
    h.answerConfirmation("confirm");
    h.settle();
    const auto file = h.file();
    ASSERT_EQ(file["app_snippets"].size(), 1u);
    EXPECT_EQ(file["app_snippets"][0]["bundle_id"], "org.gnome.TextEditor");
    EXPECT_EQ(h.visible<QAbstractButton>("tab:xterm"), nullptr);
}

// The installed-applications sheet scans once in the background, lists and searches,
// and a choice adds the application, closing sheet and popover; an existing one keeps the popover
// with its message. Reopening within five minutes uses the cache.
TEST_F(ApplicationsTest, InstalledApplicationsSheet) {
    h.applications->setInstalled({app("org.gnome.TextEditor", "Text Editor"), app("xterm", "XTerm"),
                                  app("org.kde.konsole", "Konsole")});
    h.recentApps = {{"org.kde.konsole", "Konsole"}};
    FakeClock clock;
    InstalledAppsCache cache(clock);
    openCapture();
    ASSERT_NE(h.visible<QWidget>("recent:org.kde.konsole", capture()), nullptr);
    const ConfigurationServices services{nullptr, nullptr, h.applications, &h.scheduler, {}, "korvane"};
    InstalledAppsView sheet(
        services, h.window.get(), [](const std::string&, const std::string&) {}, &cache);
    EXPECT_TRUE(sheet.isLoading());
    h.scheduler.runUntilIdle();
    EXPECT_FALSE(sheet.isLoading());
    EXPECT_EQ(ids(sheet.shownApps()),
              (std::vector<std::string>{"org.kde.konsole", "org.gnome.TextEditor", "xterm"}));
    QTest::keyClicks(sheet.findChild<QLineEdit*>("searchApps"), "TERM");
    EXPECT_EQ(ids(sheet.shownApps()), (std::vector<std::string>{"xterm"}));
    InstalledAppsView again(
        services, h.window.get(), [](const std::string&, const std::string&) {}, &cache);
    EXPECT_FALSE(again.isLoading()) << "a fresh cache shows the list at once";
    EXPECT_EQ(h.applications->installedScans.load(), 1);

    // Through the popover: choosing an existing application closes the sheet, keeps the popover.
    h.click("browseInstalledApps");
    InstalledAppsView* popoverSheet = capture()->installedApps();
    ASSERT_NE(popoverSheet, nullptr);
    h.scheduler.runUntilIdle();
    auto* list = popoverSheet->findChild<QListWidget*>("appList");
    const auto shown = popoverSheet->shownApps();
    const auto xterm =
        std::find_if(shown.begin(), shown.end(), [](const InstalledApp& a) { return a.bundleId == "xterm"; });
    emit list->itemClicked(list->item(static_cast<int>(xterm - shown.begin())));
    test::SettingsViewHarness::flushDeletes();
    ASSERT_NE(capture(), nullptr);
    EXPECT_EQ(capture()->installedApps(), nullptr);
    EXPECT_EQ(appError(), "App with bundle ID 'xterm' already exists");
    h.click("browseInstalledApps");
    h.scheduler.runUntilIdle();
    list = capture()->installedApps()->findChild<QListWidget*>("appList");
    emit list->itemClicked(list->item(0));
    test::SettingsViewHarness::flushDeletes();
    EXPECT_EQ(capture(), nullptr);
    EXPECT_EQ(h.viewModel->selectedAppBundleId(), "org.kde.konsole");
}

} // namespace
} // namespace korvane
