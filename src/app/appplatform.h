#pragma once

#include "base/clock.h"
#include "base/observerlist.h"
#include "base/scheduler.h"
#include "base/serialexecutor.h"
#include "base/workerpool.h"
#include "input/textinjector.h"
#include "platform/accessibilitytrust.h"
#include "platform/activeappprovider.h"
#include "platform/alertpresenter.h"
#include "platform/applicationcatalog.h"
#include "platform/fileprobe.h"
#include "platform/filewatchsource.h"
#include "platform/keytapbackend.h"
#include "platform/memorypressuresource.h"
#include "platform/pasteboard.h"
#include "platform/platformcapabilities.h"
#include "platform/processrunner.h"
#include "platform/processtable.h"
#include "platform/secureinputprobe.h"
#include "platform/thumbnaildecoder.h"
#include "platform/treewatchsource.h"
#include "platform/urlopener.h"
#include "platform/userdefaults.h"
#include "platform/workspaceevents.h"
#include "popup/popupcontroller.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// Everything the coordinator reaches of the desktop and the system: made once by main() for the
// real session, by tests from fakes. The scheduler, clock and pools outlive the coordinator.
struct AppPlatform {
    Scheduler& scheduler;
    const Clock& clock;
    WorkerPool& scanPool;
    // Where project detection asks tmux servers which pane a client shows, and screen sessions which
    // window a display shows, apart from other work, so that a server that does not answer holds up
    // nothing but its own question.
    WorkerPool& tmuxPool;
    std::shared_ptr<AccessibilityTrust> trust;
    std::shared_ptr<KeyTapBackend> keyTapBackend;
    std::shared_ptr<ActiveAppProvider> activeApp;
    std::shared_ptr<ProcessTable> processTable;
    std::shared_ptr<FileProbe> fileProbe;
    std::shared_ptr<FileWatchSource> fileWatchSource;
    // Watches the listed projects' folders; none stamps a project whole at every look.
    std::shared_ptr<TreeWatchSource> treeWatchSource;
    std::shared_ptr<ProcessRunner> processRunner;
    std::shared_ptr<const PlatformCapabilities> capabilities;
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<TextInjector> injector;
    std::shared_ptr<SecureInputProbe> secureInput;
    std::shared_ptr<WorkspaceEvents> workspaceEvents;
    std::shared_ptr<MemoryPressureSource> memoryPressure;
    std::shared_ptr<UrlOpener> urlOpener;
    std::shared_ptr<AlertPresenter> alerts;
    std::shared_ptr<UserDefaults> defaults;
    // Where the usage history is encoded and written; without one, on the main thread.
    std::shared_ptr<SerialExecutor> historyQueue;
    // The installed and running applications, for the settings window.
    std::shared_ptr<ApplicationCatalog> applications;
    // Makes the popup controller with its window and the view model's detail controller; called
    // once, by the coordinator's constructor.
    std::function<std::shared_ptr<PopupController>(const PopupViewModel::DetailControllerFactory&)>
        makePopupController;
    // Decodes image previews; none shows every image as unavailable.
    std::shared_ptr<const ThumbnailDecoder> thumbnails;
    // The icon (theme name or absolute path) of an installed application by desktop-file ID, for
    // the onboarding's example cards; may be empty.
    std::function<std::optional<std::string>(const std::string& desktopID)> applicationIcon;
    // Told on the key tap's thread of every key it hands to the detector (latency measurements).
    std::function<void()> onTapKey;
    // Told on the main thread, from within the popup window's own event handling, when its first frame after
    // it was shown is on the screen; may be absent.
    std::shared_ptr<ObserverList<>> popupFirstFrame;
    // The configuration folder (config.json, history.json); the user's one in the real session.
    std::filesystem::path configDirectory;
    // Korvane's own application identifier and process, to tell its own windows from others.
    std::string ownBundleID = "korvane";
    std::int32_t ownPid = 0;
};

} // namespace korvane
