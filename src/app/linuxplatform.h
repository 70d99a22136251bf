#pragma once

#include "app/appplatform.h"
#include "platform/linux/atspiaccessibletext.h"
#include "platform/linux/desktopfileindex.h"
#include "platform/linux/liveactiveappprovider.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/threadworkerpool.h"
#include "platform/linux/x11focusedwindowframe.h"
#include "platform/qt/qtpointerlocation.h"
#include "platform/qt/qtscheduler.h"
#include "platform/qt/qtscreenlist.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

class AccessibleCaretLocator;
class FrameTimer;

// The real desktop behind every port: X11, AT-SPI, /proc, inotify and the Qt main loop. Made once by
// main() after the QApplication; it outlives the coordinator. Main thread.
class LinuxPlatform {
public:
    LinuxPlatform();
    ~LinuxPlatform();
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    // Connects to what Korvane cannot run without; the reason, for the user, when one is missing.
    std::optional<std::string> open();
    AppPlatform platform(std::int32_t ownPid);
    Scheduler& scheduler() { return scheduler_; }

private:
    std::shared_ptr<PopupController> makePopupController(const PopupViewModel::DetailControllerFactory& makeDetail);
    // The icon named by an installed application's desktop file, by desktop-file ID.
    std::function<std::optional<std::string>(const std::string&)> applicationIcons() const;

    QtScheduler scheduler_;
    // Declared after the scheduler: its threads finish before the scheduler they post to goes.
    ThreadWorkerPool scanPool_{"korvane-scan", 16};
    ThreadWorkerPool tmuxPool_{"korvane-tmux", 8};
    std::shared_ptr<x11::PostedKeyJournal> journal_ = std::make_shared<x11::PostedKeyJournal>();
    std::shared_ptr<DesktopFileIndex> desktopFiles_;
    std::shared_ptr<LiveActiveAppProvider> activeApp_;
    std::shared_ptr<atspi::AtspiAccessibleText> accessibleText_;
    std::shared_ptr<FileWatchSource> fileWatchSource_;
    QtScreenList screens_;
    QtPointerLocation pointer_;
    std::unique_ptr<AccessibleCaretLocator> caret_;
    std::unique_ptr<x11::X11FocusedWindowFrame> windowFrame_;
    std::shared_ptr<FrameTimer> frameTimer_;
    std::shared_ptr<ObserverList<>> popupFirstFrame_ = std::make_shared<ObserverList<>>();
};

} // namespace korvane
