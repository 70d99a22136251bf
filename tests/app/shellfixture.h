#pragma once

#include "app/appcoordinator.h"
#include "app/statusbarcontroller.h"
#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/fakeaccessibletext.h"
#include "platform/fake/fakeactiveappprovider.h"
#include "platform/fake/fakealertpresenter.h"
#include "platform/fake/fakecaretlocator.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakeeventlog.h"
#include "platform/fake/fakefileprobe.h"
#include "platform/fake/fakefilewatchsource.h"
#include "platform/fake/fakefocusedwindowframe.h"
#include "platform/fake/fakekeysynthesizer.h"
#include "platform/fake/fakekeytap.h"
#include "platform/fake/fakekeytapbackend.h"
#include "platform/fake/fakememorypressuresource.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/fake/fakeplatformcapabilities.h"
#include "platform/fake/fakepointerlocation.h"
#include "platform/fake/fakepopupsurfacewindow.h"
#include "platform/fake/fakeprocessrunner.h"
#include "platform/fake/fakeprocesstable.h"
#include "platform/fake/fakescreenlist.h"
#include "platform/fake/fakesecureinputprobe.h"
#include "platform/fake/fakesleeper.h"
#include "platform/fake/faketextfield.h"
#include "platform/fake/fakeurlopener.h"
#include "platform/fake/fakeuserdefaults.h"
#include "platform/fake/fakeworkspaceevents.h"
#include "platform/fake/inlinemainthreadcaller.h"
#include "platform/fake/manualscheduler.h"
#include "platform/fake/manualserialexecutor.h"
#include "platform/fake/manualworkerpool.h"
#include "platform/keycodes.h"
#include "shelltestsupport.h"
#include "support/logcapture.h"
#include "support/polling.h"
#include "support/tempdir.h"

#include <QAction>
#include <QMenu>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane::test {

constexpr std::int32_t editorPID = 4242;
constexpr std::uint64_t editorWindow = 0x400001;

// The whole shell made by its composition root over fakes of every port: keys go through the real
// detector and session engine, the popup's view model is real, and an edit field stands for the
// frontmost application's document. The tests of the completion flow, the project follower and the
// shell's lifecycle drive their class through it.
class ShellFixture : public testing::Test {
protected:
    void SetUp() override {
        ensureShellApplication();
        scheduler.attachClock(&clock);
        std::filesystem::create_directories(configDir);
        writeConfig(R"({"trigger": ";;", "snippets": [{"key": "sig", "expand": "Best,\nAda"},
                                                    {"key": "fn", "expand": "foo($0)bar"}]})");
        activeApp->setFrontmost(FrontmostApplication{"org.example.Editor", editorPID}, editorWindow);
        screens->list = {ScreenInfo{{0, 0, 1280, 800}, {0, 0, 1280, 775}}};
        makeCoordinator();
    }

    void TearDown() override { coordinator.reset(); }

    void writeConfig(const std::string& text) { std::ofstream(configDir / "config.json") << text; }

    void makeCoordinator() {
        TextInjector::Ports ports;
        ports.injectionQueue = injectionQueue;
        ports.mainThread = std::make_shared<InlineMainThreadCaller>();
        ports.mainScheduler = &scheduler;
        ports.activeApp = activeApp;
        ports.profileForBundleID = [](const std::string&) { return AppProfile::defaultProfile(); };
        ports.pasteShortcutForBundleID = [](const std::string&) { return PasteShortcut{}; };
        ports.accessibleText = std::make_shared<FakeAccessibleText>(field, log);
        ports.keys = std::make_shared<FakeKeySynthesizer>(log);
        ports.pasteboard = pasteboard;
        ports.sleeper = std::make_shared<FakeSleeper>(log);
        AppPlatform platform{
            .scheduler = scheduler,
            .clock = clock,
            .scanPool = scanPool,
            .tmuxPool = tmuxPool,
            .trust = trustPort ? trustPort : std::shared_ptr<AccessibilityTrust>(trust),
            .keyTapBackend = tapBackend,
            .activeApp = activeApp,
            .processTable = processTable,
            .fileProbe = fileProbe,
            .fileWatchSource = watchSource,
            .processRunner = processes,
            .capabilities = std::make_shared<FakePlatformCapabilities>(),
            .pasteboard = pasteboard,
            .injector = std::make_shared<TextInjector>(std::move(ports)),
            .secureInput = secureInput,
            .workspaceEvents = workspace,
            .memoryPressure = memoryPressure,
            .urlOpener = urlOpener,
            .alerts = alertsPort ? alertsPort : std::shared_ptr<AlertPresenter>(alerts),
            .defaults = defaults,
            .makePopupController =
                [this](const PopupViewModel::DetailControllerFactory& makeDetail) {
                    return PopupController::create(
                        scheduler, {*screens, caret, windowFrame, pointer},
                        [this](std::shared_ptr<PopupViewModel>) {
                            auto made = std::make_unique<FakePopupSurfaceWindow>();
                            popup = made.get();
                            return made;
                        },
                        makeDetail);
                },
            .popupFirstFrame = popupFrames,
            .configDirectory = configDir,
            .ownBundleID = "korvane",
            .ownPid = 1,
        };
        defaults->setBool(AppCoordinator::hasCompletedOnboardingKey, completedOnboarding);
        coordinator = AppCoordinator::create(std::move(platform));
        coordinator->start();
        settle();
    }

    // Runs everything that is due, including the edits that wait their short delay.
    void settle() {
        for (int round = 0; round < 5; ++round) {
            scheduler.runUntilIdle();
            scanPool.runAll();
            injectionQueue->runAll();
            scheduler.advance(0.05);
        }
    }

    // The user types `text` into the editor: it lands in the field and the key tap sees each key.
    void type(const std::string& text) {
        for (char c : text) {
            const std::string character(1, c);
            field->type(character);
            press(0, character);
        }
    }

    // A key that types nothing itself; withheld keys never reach the field.
    bool press(std::uint16_t keyCode, std::optional<std::string> characters = std::nullopt,
               std::uint64_t flags = 0) {
        TapEvent event;
        event.keyCode = keyCode;
        event.characters = std::move(characters);
        event.flags = flags;
        const bool withheld = tapBackend->lastTap()->deliver(event).value_or(false);
        settle();
        return withheld;
    }

    bool sessionActive() {
        return std::holds_alternative<CompletionSessionEngine::ActiveSession>(
            coordinator->completionFlow().sessionEngine().state());
    }

    TempDir dir;
    std::filesystem::path configDir = dir.path() / "config";
    LogCapture lines;
    ManualScheduler scheduler;
    FakeClock clock;
    ManualWorkerPool scanPool;
    ManualWorkerPool tmuxPool;
    std::shared_ptr<FakeEventLog> log = std::make_shared<FakeEventLog>();
    std::shared_ptr<FakeTextField> field = std::make_shared<FakeTextField>();
    std::shared_ptr<ManualSerialExecutor> injectionQueue = std::make_shared<ManualSerialExecutor>();
    // Tells its changes through the scheduler, as the real port does.
    std::shared_ptr<FakeAccessibilityTrust> trust = std::make_shared<FakeAccessibilityTrust>(scheduler);
    // The port the shell is made with when set; `trust` otherwise.
    std::shared_ptr<AccessibilityTrust> trustPort;
    // Whether the user finished the onboarding on an earlier run.
    bool completedOnboarding = true;
    std::shared_ptr<FakeKeyTapBackend> tapBackend = std::make_shared<FakeKeyTapBackend>();
    std::shared_ptr<FakeActiveAppProvider> activeApp = std::make_shared<FakeActiveAppProvider>();
    std::shared_ptr<FakeProcessTable> processTable = std::make_shared<FakeProcessTable>();
    std::shared_ptr<FakeFileProbe> fileProbe = std::make_shared<FakeFileProbe>();
    // Reports only what a test emits, as the system would for the files it changes.
    std::shared_ptr<FakeFileWatchSource> watchSource = std::make_shared<FakeFileWatchSource>();
    std::shared_ptr<FakeProcessRunner> processes = std::make_shared<FakeProcessRunner>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeSecureInputProbe> secureInput = std::make_shared<FakeSecureInputProbe>();
    std::shared_ptr<FakeWorkspaceEvents> workspace = std::make_shared<FakeWorkspaceEvents>();
    std::shared_ptr<FakeMemoryPressureSource> memoryPressure = std::make_shared<FakeMemoryPressureSource>();
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    std::shared_ptr<FakeAlertPresenter> alerts = std::make_shared<FakeAlertPresenter>();
    // The port the shell is made with when set (the real boxes); `alerts` otherwise.
    std::shared_ptr<AlertPresenter> alertsPort;
    std::shared_ptr<FakeUserDefaults> defaults = std::make_shared<FakeUserDefaults>();
    std::shared_ptr<FakeScreenList> screens = std::make_shared<FakeScreenList>();
    FakeCaretLocator caret;
    FakeFocusedWindowFrame windowFrame;
    FakePointerLocation pointer;
    FakePopupSurfaceWindow* popup = nullptr;
    // Where a test tells that the popup's first frame reached the screen.
    std::shared_ptr<ObserverList<>> popupFrames = std::make_shared<ObserverList<>>();
    std::shared_ptr<AppCoordinator> coordinator;
};

} // namespace korvane::test
