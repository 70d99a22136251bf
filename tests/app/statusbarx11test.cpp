// Runs under scripts/xvfb-session, which starts no tray: the menu's icon waits without one and
// embeds itself once a tray (trayer) starts.
#include "app/statusbarcontroller.h"

#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/fakesecureinputprobe.h"
#include "support/logcapture.h"
#include "support/polling.h"
#include "support/qtx11.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <chrono>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::spinUntil;

TEST(StatusBarX11Test, TheIconAppearsWhenATrayStartsLater) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
    }
    static int argc = 1;
    static char name[] = "korvane_x11_tray_tests";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    test::LogCapture log;

    StatusBarController controller(std::make_shared<FakeSecureInputProbe>(), std::make_shared<FakeAccessibilityTrust>());
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    controller.setup();
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[Korvane] No system tray found; the Korvane menu is not shown."});

    test::TempDir dir;
    const std::string pidFile = (dir.path() / "pid").string();
    ASSERT_EQ(test::run("trayer --expand true >/dev/null 2>&1 & echo $! > " + pidFile), 0);
    const std::string pid = std::to_string(std::stoi(test::readAll(pidFile)));
    EXPECT_TRUE(spinUntil([&] { return controller.statusItem()->geometry().isValid(); }));
    EXPECT_EQ(log.lines().size(), 1u);
    test::run("kill " + pid);
}

} // namespace
} // namespace korvane
