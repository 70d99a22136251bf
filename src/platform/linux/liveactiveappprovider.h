#pragma once

#include "platform/activeappprovider.h"
#include "platform/linux/desktopfileindex.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace korvane {

namespace x11 {
class X11WindowInspector;
}

// The active application on an X11 desktop: the window manager's active window, its process and its
// title, and the application identifier of the window through the desktop files. Each call waits at
// most `replyTimeout` for the server; any failure reads as absence. Any thread; calls are serialised.
class LiveActiveAppProvider final : public ActiveAppProvider {
public:
    static constexpr std::chrono::milliseconds defaultReplyTimeout{250};

    explicit LiveActiveAppProvider(std::shared_ptr<DesktopFileIndex> installed,
                                   std::chrono::milliseconds replyTimeout = defaultReplyTimeout);
    ~LiveActiveAppProvider() override;

    std::optional<FrontmostApplication> frontmostApplication() override;
    // The title of the active window when `pid` owns it; nothing otherwise.
    std::optional<std::string> focusedWindowTitle(std::int32_t pid) override;
    // The active X window, while it exists.
    std::optional<std::uint64_t> activeWindowID() override;

    // The process of the first open window of the application `bundleID`, in the order the windows
    // were mapped.
    std::optional<std::int32_t> processIdentifier(const std::string& bundleID);

private:
    // Under mutex_: the inspector, connected (again) when needed; null without a server.
    x11::X11WindowInspector* inspector(std::chrono::steady_clock::time_point deadline);
    // Under mutex_: the active window with its identity hints and process, and the inspector that read
    // them; nothing without a server or an active window.
    struct ActiveWindow;
    std::optional<ActiveWindow> activeWindow(std::chrono::steady_clock::time_point deadline);

    std::shared_ptr<DesktopFileIndex> installed_;
    std::chrono::milliseconds replyTimeout_;
    std::mutex mutex_;
    std::unique_ptr<x11::X11WindowInspector> inspector_;
};

} // namespace korvane
