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

std::optional<FrontmostApplication> LiveActiveAppProvider::frontmostApplication() {
    std::optional<std::int32_t> pid;
    std::optional<WindowIdentityHints> hints;
    {
        std::lock_guard lock(mutex_);
        Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
        auto* windows = inspector(deadline);
        if (!windows) {
            return std::nullopt;
        }
        auto active = windows->activeWindow(deadline);
        if (!active) {
            return std::nullopt;
        }
        auto facts = windows->facts({*active}, deadline);
        hints = std::move(facts.front().hints);
        pid = facts.front().pid;
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
    Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    auto* windows = inspector(deadline);
    if (!windows) {
        return std::nullopt;
    }
    auto active = windows->activeWindow(deadline);
    if (!active || windows->facts({*active}, deadline).front().pid != pid) {
        return std::nullopt;
    }
    return windows->title(*active, deadline);
}

std::optional<std::uint64_t> LiveActiveAppProvider::activeWindowID() {
    std::lock_guard lock(mutex_);
    Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    auto* windows = inspector(deadline);
    if (!windows) {
        return std::nullopt;
    }
    auto active = windows->activeWindow(deadline);
    // The window manager may not yet have noticed that the window is gone.
    if (!active || !windows->facts({*active}, deadline).front().hints) {
        return std::nullopt;
    }
    return active;
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
