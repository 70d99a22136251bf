#include "platform/linux/desktopapplicationcatalog.h"

#include "platform/linux/applicationidentity.h"
#include "platform/linux/x11windowinspector.h"

#include <chrono>
#include <unordered_set>

namespace korvane {
namespace {

// The window manager answers at once or not at all; the settings window must not hang on it.
constexpr std::chrono::milliseconds replyTimeout{250};

CatalogApplication fromEntry(const DesktopEntry& entry) {
    return CatalogApplication{entry.id, entry.name, entry.path, entry.icon};
}

} // namespace

DesktopApplicationCatalog::DesktopApplicationCatalog(std::shared_ptr<DesktopFileIndex> index,
                                                     std::shared_ptr<ActiveAppProvider> activeApp)
    : index_(std::move(index))
    , activeApp_(std::move(activeApp)) {}

DesktopApplicationCatalog::~DesktopApplicationCatalog() = default;

std::vector<CatalogApplication> DesktopApplicationCatalog::installedApplications() {
    std::vector<CatalogApplication> apps;
    for (const DesktopEntry& entry : index_->snapshot()->entries) {
        if (!entry.noDisplay) {
            apps.push_back(fromEntry(entry));
        }
    }
    return apps;
}

CatalogApplication DesktopApplicationCatalog::describe(const std::string& bundleId,
                                                       const std::string& fallbackName,
                                                       std::int32_t pid) const {
    if (const DesktopEntry* entry = index_->snapshot()->byID(bundleId)) {
        return fromEntry(*entry);
    }
    std::string path = pid > 0 ? "/proc/" + std::to_string(pid) + "/exe" : std::string();
    return CatalogApplication{bundleId, fallbackName, std::move(path), {}};
}

std::vector<CatalogApplication> DesktopApplicationCatalog::runningApplications() {
    std::lock_guard lock(inspectorMutex_);
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout;
    if (!inspector_ || inspector_->broken()) {
        inspector_ = x11::X11WindowInspector::open(deadline);
    }
    if (!inspector_) {
        return {};
    }
    const auto windows = inspector_->clientList(deadline);
    const auto facts = inspector_->facts(windows, deadline);
    const auto installed = index_->snapshot();
    std::vector<CatalogApplication> apps;
    std::unordered_set<std::string> seen;
    for (const auto& window : facts) {
        if (!window.hints) {
            continue;
        }
        auto id = applicationIdentity(*window.hints, *installed);
        if (!id || !seen.insert(*id).second) {
            continue;
        }
        const std::string& name = window.hints->wmClass.empty() ? *id : window.hints->wmClass;
        apps.push_back(describe(*id, name, window.pid.value_or(0)));
    }
    return apps;
}

std::optional<CatalogApplication> DesktopApplicationCatalog::frontmostApplication() {
    auto frontmost = activeApp_ ? activeApp_->frontmostApplication() : std::nullopt;
    if (!frontmost || frontmost->bundleID.empty()) {
        return std::nullopt;
    }
    return describe(frontmost->bundleID, frontmost->bundleID, frontmost->pid);
}

std::string DesktopApplicationCatalog::iconFor(const std::string& bundleId) {
    const DesktopEntry* entry = index_->snapshot()->byID(bundleId);
    return entry ? entry->icon : std::string();
}

} // namespace korvane
