#include "app/linuxplatform.h"

#include "app/frametimer.h"
#include "app/popupframes.h"
#include "base/diagnostics.h"
#include "config/configpaths.h"
#include "detail/views/detailpanelview.h"
#include "input/applicationsets.h"
#include "input/appprofilecache.h"
#include "input/pasteshortcutcache.h"
#include "platform/accessiblecaretlocator.h"
#include "platform/linux/atspisecureinputprobe.h"
#include "platform/linux/builtinkeyequivalentsource.h"
#include "platform/linux/desktopapplicationcatalog.h"
#include "platform/linux/fileuserdefaults.h"
#include "platform/linux/inotifyfilewatchsource.h"
#include "platform/linux/inotifytreewatchsource.h"
#include "platform/linux/linuxaccessibilitytrust.h"
#include "platform/linux/linuxplatformcapabilities.h"
#include "platform/linux/linuxprocessrunner.h"
#include "platform/linux/liveactiveappprovider.h"
#include "platform/linux/localfileprobe.h"
#include "platform/linux/procelectronprobe.h"
#include "platform/linux/procmemorypressuresource.h"
#include "platform/linux/procprocesstable.h"
#include "platform/linux/workerthread.h"
#include "platform/linux/x11keytapbackend.h"
#include "platform/linux/x11workspaceevents.h"
#include "platform/linux/xdgurlopener.h"
#include "platform/linux/xtestkeysynthesizer.h"
#include "platform/qt/qtalertpresenter.h"
#include "platform/qt/qtdesktopcoordinates.h"
#include "platform/qt/qtpasteboard.h"
#include "platform/qt/qtthumbnaildecoder.h"
#include "platform/schedulermainthreadcaller.h"
#include "platform/sleeper.h"
#include "popup/views/popupaccessible.h"
#include "popup/views/qtpopupwindow.h"

#include <QGuiApplication>
#include <cstdio>

namespace korvane {
namespace {

ScreenPoint primaryTopLeft() {
    const QPointF point = QtDesktopCoordinates::primaryTopLeft();
    return ScreenPoint{point.x(), point.y()};
}

} // namespace

LinuxPlatform::LinuxPlatform() = default;
LinuxPlatform::~LinuxPlatform() = default;

std::optional<std::string> LinuxPlatform::open() {
    windowFrame_ = x11::X11FocusedWindowFrame::open(primaryTopLeft);
    if (!windowFrame_) {
        return "Korvane cannot reach the X display " + std::string(std::getenv("DISPLAY")) + ".";
    }
    accessibleText_ = atspi::AtspiAccessibleText::create();
    if (!accessibleText_) {
        return "Korvane cannot reach the accessibility bus of this session (AT-SPI): it reads the caret and "
               "edits text through it. Start the session's accessibility service and try again.";
    }
    auto watchSource = InotifyFileWatchSource::create(scheduler_);
    if (!watchSource) {
        return "Korvane cannot watch files (inotify): " + watchSource.error().message();
    }
    fileWatchSource_ = *watchSource;
    desktopFiles_ = std::make_shared<DesktopFileIndex>(DesktopFileIndex::xdgDataDirs());
    activeApp_ = std::make_shared<LiveActiveAppProvider>(desktopFiles_);
    caret_ = std::make_unique<AccessibleCaretLocator>(*accessibleText_, primaryTopLeft);
    installPopupAccessibleFactory();
    if (FrameTimer::enabled()) {
        frameTimer_ = std::make_shared<FrameTimer>();
        // Measuring: the components' own timing lines go beside the frame timings.
        // The hook runs under the diagnostics lock: it writes its line itself.
        setPerformanceHook([](std::string_view category, std::string_view message) {
            std::printf("[Korvane] Timing: %.*s %.*s\n", static_cast<int>(category.size()), category.data(),
                        static_cast<int>(message.size()), message.data());
            std::fflush(stdout);
        });
    }
    return std::nullopt;
}

AppPlatform LinuxPlatform::platform(std::int32_t ownPid) {
    auto trust = std::make_shared<LinuxAccessibilityTrust>(scheduler_);
    auto processRunner = std::make_shared<LinuxProcessRunner>();
    auto pasteboard = std::make_shared<QtPasteboard>();

    std::weak_ptr<LiveActiveAppProvider> apps = activeApp_;
    auto profiles = std::make_shared<AppProfileCache>(std::make_shared<ProcElectronProbe>(
        [apps](const std::string& bundleID) -> std::optional<std::int32_t> {
            auto provider = apps.lock();
            return provider ? provider->processIdentifier(bundleID) : std::nullopt;
        }));
    auto shortcuts = std::make_shared<PasteShortcutCache>(
        std::make_shared<BuiltinKeyEquivalentSource>(terminalBundleIDs()));
    TextInjector::Ports ports;
    ports.injectionQueue = std::make_shared<WorkerThread>("korvane-inject");
    ports.mainThread = std::make_shared<SchedulerMainThreadCaller>(scheduler_);
    ports.mainScheduler = &scheduler_;
    ports.activeApp = activeApp_;
    ports.profileForBundleID = [profiles](const std::string& bundleID) {
        return profiles->profile(bundleID);
    };
    ports.pasteShortcutForBundleID = [shortcuts](const std::string& bundleID) {
        return shortcuts->pasteShortcut(bundleID);
    };
    ports.accessibleText = accessibleText_;
    ports.keys = std::make_shared<x11::XTestKeySynthesizer>(journal_);
    ports.pasteboard = pasteboard;
    ports.sleeper = std::make_shared<ThreadSleeper>();

    return AppPlatform{
        .scheduler = scheduler_,
        .clock = SystemClock::shared(),
        .scanPool = scanPool_,
        .tmuxPool = tmuxPool_,
        .trust = trust,
        .keyTapBackend = std::make_shared<x11::X11KeyTapBackend>(trust, journal_),
        .activeApp = activeApp_,
        .processTable = std::make_shared<ProcProcessTable>(),
        .fileProbe = std::make_shared<LocalFileProbe>(),
        .fileWatchSource = fileWatchSource_,
        .treeWatchSource = std::make_shared<InotifyTreeWatchSource>(),
        .processRunner = processRunner,
        .capabilities = std::make_shared<LinuxPlatformCapabilities>(),
        .pasteboard = pasteboard,
        .injector = std::make_shared<TextInjector>(std::move(ports)),
        .secureInput = std::make_shared<atspi::AtspiSecureInputProbe>(accessibleText_),
        .workspaceEvents = std::make_shared<x11::X11WorkspaceEvents>(scheduler_, desktopFiles_),
        .memoryPressure = std::make_shared<ProcMemoryPressureSource>(scheduler_),
        .urlOpener = std::make_shared<XdgUrlOpener>(),
        .alerts = std::make_shared<QtAlertPresenter>(),
        .defaults = std::make_shared<FileUserDefaults>(),
        .historyQueue = std::make_shared<WorkerThread>("korvane-history"),
        .applications = std::make_shared<DesktopApplicationCatalog>(desktopFiles_, activeApp_),
        .makePopupController =
            [this](const PopupViewModel::DetailControllerFactory& makeDetail) {
                return makePopupController(makeDetail);
            },
        .thumbnails = std::make_shared<QtThumbnailDecoder>(),
        .applicationIcon = applicationIcons(),
        .onTapKey = frameTimer_ ? std::function<void()>([timer = frameTimer_] { timer->noteKey(); })
                                : std::function<void()>(),
        .popupFirstFrame = popupFirstFrame_,
        .configDirectory = configDirectory(),
        .ownBundleID = QGuiApplication::desktopFileName().toStdString(),
        .ownPid = ownPid,
    };
}

std::function<std::optional<std::string>(const std::string&)> LinuxPlatform::applicationIcons() const {
    return [index = desktopFiles_](const std::string& desktopID) -> std::optional<std::string> {
        const auto snapshot = index->snapshot();
        const DesktopEntry* entry = snapshot->byID(desktopID);
        return entry ? std::optional<std::string>(entry->icon) : std::nullopt;
    };
}

std::shared_ptr<PopupController>
LinuxPlatform::makePopupController(const PopupViewModel::DetailControllerFactory& makeDetail) {
    DetailPanelView::install(SystemClock::shared());
    return PopupController::create(
        scheduler_, {screens_, *caret_, *windowFrame_, pointer_},
        [timer = frameTimer_, firstFrame = popupFirstFrame_](std::shared_ptr<PopupViewModel> model) {
            auto window = std::make_unique<QtPopupWindow>(model);
            new PopupFrames(*window, model, timer, firstFrame);
            return window;
        },
        makeDetail);
}

} // namespace korvane
