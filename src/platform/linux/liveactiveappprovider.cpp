#include "platform/linux/liveactiveappprovider.h"

#include "platform/linux/x11windowinspector.h"

namespace korvane {

using x11::Deadline;

LiveActiveAppProvider::LiveActiveAppProvider(std::shared_ptr<DesktopFileIndex> installed,
                                             std::chrono::milliseconds replyTimeout)
    : installed_(std::move(installed))
    , replyTimeout_(replyTimeout) {}

LiveActiveAppProvider::~LiveActiveAppProvider() = default;

x11::X11WindowInspector* LiveActiveAppProvider::inspector(Deadline deadline) {
    if (!inspector_ || inspector_->broken()) {
        inspector_ = x11::X11WindowInspector::open(deadline);
    }
    return inspector_.get();
}

struct LiveActiveAppProvider::ActiveWindow {
    xcb_window_t window;
    x11::X11WindowInspector::WindowFacts facts;
    x11::X11WindowInspector* inspector;
};

std::optional<LiveActiveAppProvider::ActiveWindow> LiveActiveAppProvider::activeWindow(Deadline deadline) {
    auto* windows = inspector(deadline);
    if (!windows) {
        return std::nullopt;
    }
    auto active = windows->activeWindow(deadline);
    if (!active) {
        return std::nullopt;
    }
    return ActiveWindow{*active, windows->facts({*active}, deadline).front(), windows};
}

std::optional<FrontmostApplication> LiveActiveAppProvider::frontmostApplication() {
    std::optional<std::int32_t> pid;
    std::optional<WindowIdentityHints> hints;
    {
        std::lock_guard lock(mutex_);
        auto active = activeWindow(std::chrono::steady_clock::now() + replyTimeout_);
        if (!active) {
            return std::nullopt;
        }
        hints = std::move(active->facts.hints);
        pid = active->facts.pid;
    }
    if (!hints || !pid) {
        return std::nullopt;
    }
    auto id = applicationIdentity(*hints, *installed_->snapshot());
    if (!id) {
        return std::nullopt;
    }
    return FrontmostApplication{std::move(*id), *pid};
}

std::optional<std::string> LiveActiveAppProvider::focusedWindowTitle(std::int32_t pid) {
    std::lock_guard lock(mutex_);
    const Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    auto active = activeWindow(deadline);
    if (!active || active->facts.pid != pid) {
        return std::nullopt;
    }
    return active->inspector->title(active->window, deadline);
}

std::optional<std::uint64_t> LiveActiveAppProvider::activeWindowID() {
    std::lock_guard lock(mutex_);
    auto active = activeWindow(std::chrono::steady_clock::now() + replyTimeout_);
    // The window manager may not yet have noticed that the window is gone.
    if (!active || !active->facts.hints) {
        return std::nullopt;
    }
    return active->window;
}

std::optional<std::int32_t> LiveActiveAppProvider::processIdentifier(const std::string& bundleID) {
    std::vector<x11::X11WindowInspector::WindowFacts> clients;
    {
        std::lock_guard lock(mutex_);
        Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
        auto* windows = inspector(deadline);
        if (!windows) {
            return std::nullopt;
        }
        clients = windows->facts(windows->clientList(deadline), deadline);
    }
    auto installed = installed_->snapshot();
    for (const auto& client : clients) {
        if (client.hints && client.pid && applicationIdentity(*client.hints, *installed) == bundleID) {
            return client.pid;
        }
    }
    return std::nullopt;
}

} // namespace korvane
