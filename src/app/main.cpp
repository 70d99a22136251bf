// Korvane's entry point: checks that the desktop can be reached, makes the Linux and Qt side of every
// port, hands them to the coordinator and runs the Qt main loop until the user quits.
#include "app/appcoordinator.h"
#include "app/appdelegate.h"
#include "app/feedupdater.h"
#include "app/linuxplatform.h"
#include "app/quitsignals.h"
#include "app/statusbarcontroller.h"
#include "app/testhost.h"
#include "platform/linux/allocatorsettings.h"
#include "platform/linux/childreaper.h"
#include "platform/linux/instancelock.h"
#include "platform/linux/xcbconnection.h"
#include "platform/qt/ownwindowidentity.h"
#include "uikit/handedfocusaccessible.h"
#include "uikit/kitstyle.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

enum ExitCode { exitNormal = 0, exitAlreadyRunning = 1, exitNoDisplay = 2, exitNoAccessibilityBus = 3 };

} // namespace

int main(int argc, char** argv) {
    using namespace korvane;
    // Lines on standard output reach a pipe or a log promptly.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    AllocatorSettings::apply();

    if (isRunningTests()) {
        return exitNormal;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        std::cerr << "Korvane needs an X11 desktop session, and DISPLAY is not set." << std::endl;
        return exitNoDisplay;
    }
    // Without this check Qt's platform plugin aborts the process with a message of its own.
    if (!x11::XcbConnection::open()) {
        std::cerr << "Korvane cannot connect to the X display " << display << "." << std::endl;
        return exitNoDisplay;
    }
    auto lock = InstanceLock::acquire();
    if (!lock) {
        std::cerr << (lock.error() == InstanceLock::Error::heldByAnother
                          ? "Korvane is already running."
                          : "Korvane cannot create its lock file: " + InstanceLock::describe(lock.error()))
                  << std::endl;
        return exitAlreadyRunning;
    }

    // What a command or git leaves running is reparented here, to be ended once its run is over.
    ChildReaper::becomeSubreaper();

    // Korvane drives X11 windows and reads X11 input: no other platform plugin will do.
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication application(argc, argv);
    // Every window's scrolling views and button rows, the trust boxes' among them, tell one focused object
    // from the first window on, whichever window that is.
    HandedFocusAccessible::install();
    // Every window shows where the keyboard is, from its first focus on, in one frame that stands out.
    KitStyle::install();
    QApplication::setApplicationName("Korvane");
    QApplication::setDesktopFileName("korvane");
    // Korvane's windows carry the ID it excludes as its own, installed or not.
    OwnWindowIdentity ownWindowIdentity(QApplication::desktopFileName());
    // A menu-bar program: closing the settings or onboarding window must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    LinuxPlatform linux;
    if (const auto problem = linux.open()) {
        std::cerr << *problem << std::endl;
        return problem->find("accessibility") != std::string::npos ? exitNoAccessibilityBus : exitNoDisplay;
    }
    QuitSignals quitSignals(linux.scheduler(), [] { QCoreApplication::quit(); });

    AppPlatform platform = linux.platform(getpid());
    std::shared_ptr<AlertPresenter> alerts = platform.alerts;
    auto coordinator = AppCoordinator::create(std::move(platform));
    AppDelegate delegate;
    delegate.setStatusBar(coordinator->statusBar());
    FeedUpdater updater(KORVANE_VERSION, FeedUpdater::feedLocationFromEnvironment(), delegate, alerts);
    coordinator->checkForUpdates = [&updater] { updater.checkForUpdates(); };
    coordinator->start();
    updater.observeCanCheckForUpdates([statusBar = std::weak_ptr(coordinator->statusBar())](bool canCheck) {
        if (auto bar = statusBar.lock()) {
            bar->setCanCheckForUpdates(canCheck);
        }
    });
    updater.start();

    const int status = QApplication::exec();
    // The key tap stops and pending history is written before the ports go.
    coordinator.reset();
    return status;
}
