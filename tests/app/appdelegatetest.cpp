#include "app/appdelegate.h"

#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/fakesecureinputprobe.h"
#include "app/statusbarcontroller.h"
#include "app/testhost.h"
#include "shelltestsupport.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"

#include <QAction>
#include <QMenu>
#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(AppDelegateTest, OnlyCriticalInformationalOrFocusedScheduledUpdatesAreShownByTheChecker) {
    const AppDelegate delegate;
    EXPECT_TRUE(delegate.supportsGentleScheduledUpdateReminders());
    for (int bits = 0; bits < 8; ++bits) {
        const UpdateItem item{"2.0", (bits & 1) != 0, (bits & 2) != 0};
        const bool focus = (bits & 4) != 0;
        EXPECT_EQ(delegate.standardUserDriverShouldHandleShowingScheduledUpdate(item, focus), bits != 0) << bits;
    }
}

TEST(AppDelegateTest, GentleAnnouncementsGoToTheStatusMenuUntilTheUserHasSeenThem) {
    test::ensureShellApplication();
    test::LogCapture log;
    auto statusBar = std::make_shared<StatusBarController>(std::make_shared<FakeSecureInputProbe>(),
                                                           std::make_shared<FakeAccessibilityTrust>());
    statusBar->setup();
    QAction* notice = statusBar->menu()->actions()[3];
    AppDelegate delegate;
    const UpdateItem item{"2.0", false, false};

    // Announcements before the status menu exists, and those the checker shows itself, change nothing.
    delegate.standardUserDriverWillHandleShowingUpdate(false, item);
    delegate.setStatusBar(statusBar);
    delegate.standardUserDriverWillHandleShowingUpdate(true, item);
    EXPECT_FALSE(notice->isVisible());

    delegate.standardUserDriverWillHandleShowingUpdate(false, item);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text().toStdString(), "Update Available: v2.0");
    EXPECT_EQ(statusBar->iconName(), "go-down");

    delegate.standardUserDriverDidReceiveUserAttention(item);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(statusBar->updateAvailableVersion(), std::nullopt);
    EXPECT_EQ(statusBar->iconName(), StatusBarController::normalIconName);

    delegate.standardUserDriverWillHandleShowingUpdate(false, item);
    delegate.standardUserDriverWillFinishUpdateSession();
    EXPECT_FALSE(notice->isVisible());
}

TEST(TestHostTest, TheRunnerVariablesMarkATestHostWhateverTheirValue) {
    const char* names[] = {"XCTestConfigurationFilePath", "XCTestSessionIdentifier", "XCTestBundlePath",
                           "XCInjectBundleInto", "DYLD_INSERT_LIBRARIES"};
    std::vector<std::unique_ptr<test::ScopedEnv>> cleared;
    for (const char* name : names) {
        cleared.push_back(std::make_unique<test::ScopedEnv>(name, nullptr));
    }
    EXPECT_FALSE(isRunningTests());
    for (const char* name : {"XCTestConfigurationFilePath", "XCTestSessionIdentifier", "XCTestBundlePath",
                             "XCInjectBundleInto"}) {
        test::ScopedEnv empty(name, "");
        EXPECT_TRUE(isRunningTests()) << name;
    }
    struct Case {
        const char* injected;
        bool host;
    };
    for (const Case& c : {Case{"", false}, Case{"/usr/lib/libfoo.dylib", false},
                          Case{"/a/libXCTestBundleInject.dylib:/b/libother.dylib", true},
                          Case{"libxctestbundleinject", false}}) {
        test::ScopedEnv injected("DYLD_INSERT_LIBRARIES", c.injected);
        EXPECT_EQ(isRunningTests(), c.host) << c.injected;
    }
}

} // namespace
} // namespace korvane
