// The coordinator over fakes of every port: keys go through the real detector and session engine, the
// popup's view model is real, and an edit field stands for the frontmost application's document.
#include "app/appcoordinator.h"

#include "shelltestsupport.h"
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
#include "app/statusbarcontroller.h"
#include "support/logcapture.h"
#include "support/polling.h"
#include "support/tempdir.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::Not;

constexpr std::int32_t editorPID = 4242;
constexpr std::uint64_t editorWindow = 0x400001;

class AppCoordinatorTest : public testing::Test {
protected:
    void SetUp() override {
        test::ensureShellApplication();
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
            .trust = trust,
            .keyTapBackend = tapBackend,
            .activeApp = activeApp,
            .processTable = std::make_shared<FakeProcessTable>(),
            .fileProbe = std::make_shared<FakeFileProbe>(),
            .fileWatchSource = std::make_shared<FakeFileWatchSource>(),
            .processRunner = std::make_shared<FakeProcessRunner>(),
            .capabilities = std::make_shared<FakePlatformCapabilities>(),
            .pasteboard = pasteboard,
            .injector = std::make_shared<TextInjector>(std::move(ports)),
            .secureInput = secureInput,
            .workspaceEvents = workspace,
            .memoryPressure = memoryPressure,
            .urlOpener = urlOpener,
            .alerts = alerts,
            .defaults = defaults,
            .makePopupController =
                [this](const PopupViewModel::DetailControllerFactory& makeDetail) {
                    return PopupController::create(scheduler, {*screens, caret, windowFrame, pointer},
                                                   [this](std::shared_ptr<PopupViewModel>) {
                                                       auto made = std::make_unique<FakePopupSurfaceWindow>();
                                                       popup = made.get();
                                                       return made;
                                                   },
                                                   makeDetail);
                },
            .configDirectory = configDir,
            .ownBundleID = "korvane",
            .ownPid = 1,
        };
        defaults->setBool(AppCoordinator::hasCompletedOnboardingKey, true);
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
    bool press(std::uint16_t keyCode, std::optional<std::string> characters = std::nullopt, std::uint64_t flags = 0) {
        TapEvent event;
        event.keyCode = keyCode;
        event.characters = std::move(characters);
        event.flags = flags;
        const bool withheld = tapBackend->lastTap()->deliver(event).value_or(false);
        settle();
        return withheld;
    }

    bool sessionActive() {
        return std::holds_alternative<CompletionSessionEngine::ActiveSession>(coordinator->sessionEngine().state());
    }

    test::TempDir dir;
    std::filesystem::path configDir = dir.path() / "config";
    test::LogCapture lines;
    ManualScheduler scheduler;
    FakeClock clock;
    ManualWorkerPool scanPool;
    std::shared_ptr<FakeEventLog> log = std::make_shared<FakeEventLog>();
    std::shared_ptr<FakeTextField> field = std::make_shared<FakeTextField>();
    std::shared_ptr<ManualSerialExecutor> injectionQueue = std::make_shared<ManualSerialExecutor>();
    std::shared_ptr<FakeAccessibilityTrust> trust = std::make_shared<FakeAccessibilityTrust>();
    std::shared_ptr<FakeKeyTapBackend> tapBackend = std::make_shared<FakeKeyTapBackend>();
    std::shared_ptr<FakeActiveAppProvider> activeApp = std::make_shared<FakeActiveAppProvider>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeSecureInputProbe> secureInput = std::make_shared<FakeSecureInputProbe>();
    std::shared_ptr<FakeWorkspaceEvents> workspace = std::make_shared<FakeWorkspaceEvents>();
    std::shared_ptr<FakeMemoryPressureSource> memoryPressure = std::make_shared<FakeMemoryPressureSource>();
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    std::shared_ptr<FakeAlertPresenter> alerts = std::make_shared<FakeAlertPresenter>();
    std::shared_ptr<FakeUserDefaults> defaults = std::make_shared<FakeUserDefaults>();
    std::shared_ptr<FakeScreenList> screens = std::make_shared<FakeScreenList>();
    FakeCaretLocator caret;
    FakeFocusedWindowFrame windowFrame;
    FakePointerLocation pointer;
    FakePopupSurfaceWindow* popup = nullptr;
    std::shared_ptr<AppCoordinator> coordinator;
};

TEST_F(AppCoordinatorTest, AcceptedSnippetsReplaceTheTriggerAndQueryAndNothingElse) {
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Ready. Type ;; to activate."));
    type("Dear Bob, ;;sig");
    ASSERT_TRUE(popup->isVisible());
    EXPECT_TRUE(press(keycode::returnKey));
    EXPECT_EQ(field->text(), "Dear Bob, Best,\nAda");
    EXPECT_FALSE(popup->isVisible());
    EXPECT_FALSE(sessionActive());

    // The caret ends where the snippet marks it.
    type(" ;;fn");
    press(keycode::returnKey);
    EXPECT_EQ(field->beforeCaret(), "Dear Bob, Best,\nAda foo(");
    EXPECT_EQ(field->afterCaret(), ")bar");
}

// The scoped query is typed back behind the trigger, so the document holds exactly what the detector
// counts: the next insertion removes the trigger and query and not a character of the user's text.
TEST_F(AppCoordinatorTest, AScopeRowRewriteLeavesDocumentAndDetectorInStep) {
    type("keep ;;@");
    const SearchRow* row = coordinator->popupController().viewModel().selectedSearchRow();
    ASSERT_TRUE(row && row->kind.asScope()) << "the scope picker selects a scope first";
    const std::string alias = row->kind.asScope()->definition.primaryAlias;
    press(keycode::returnKey);
    EXPECT_EQ(field->text(), "keep ;;@" + alias + " ");
    const std::size_t typed = coordinator->triggerDetector().typedCharacterCount();
    EXPECT_EQ(typed + 2, field->text().size() - std::string("keep ").size());
    EXPECT_TRUE(sessionActive());
}

TEST_F(AppCoordinatorTest, EscapeFirstClosesAnEmptyQueryThenPausesATypedOne) {
    type(";;");
    ASSERT_TRUE(popup->isVisible());
    press(keycode::escape);
    EXPECT_FALSE(sessionActive());
    EXPECT_FALSE(popup->isVisible());
    // The trigger stays typed: one more character of it is not needed to start again.
    EXPECT_EQ(coordinator->triggerDetector().triggerProgress(), 2u);

    field->type(" ");
    press(0, " ");
    type(";;si");
    press(keycode::escape);
    EXPECT_TRUE(sessionActive());
    EXPECT_FALSE(popup->isVisible());
    EXPECT_EQ(coordinator->triggerDetector().state(), TriggerDetector::State::paused);
    type("g");
    EXPECT_EQ(coordinator->triggerDetector().state(), TriggerDetector::State::collecting);
    EXPECT_TRUE(popup->isVisible());
}

TEST_F(AppCoordinatorTest, RecentApplicationsKeepTheLastTenNewestFirstAndNeverKorvane) {
    for (int i = 0; i < 11; ++i) {
        workspace->activate({"app" + std::to_string(i), "App " + std::to_string(i), 100 + i});
    }
    workspace->activate({"app3", "App 3", 103});
    workspace->activate({"korvane", "Korvane", 1});
    settle();
    std::vector<std::string> ids;
    for (const auto& app : coordinator->recentAppHistory()) {
        ids.push_back(app.bundleID);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"app3", "app10", "app9", "app8", "app7", "app6", "app5", "app4", "app2",
                                             "app1"}));
    EXPECT_EQ(coordinator->lastNonKorvaneApp()->bundleID, "app3");
}

TEST_F(AppCoordinatorTest, MemoryPressureEvictsCachesAndSearchGoesOn) {
    const std::pair<MemoryPressureEvent, const char*> cases[] = {
        {{true, true}, "critical"}, {{true, false}, "warning"}, {{false, false}, "unknown"}};
    for (const auto& [event, level] : cases) {
        memoryPressure->fire(event);
        EXPECT_THAT(lines.lines(), Contains(std::string("[Korvane] Memory pressure detected (") + level +
                                            "), evicting optional caches"));
    }
    EXPECT_TRUE(coordinator->popupController().viewModel().labelCache().empty());
    type(";;sig");
    press(keycode::returnKey);
    EXPECT_EQ(field->text(), "Best,\nAda");
}

TEST_F(AppCoordinatorTest, RevokedPermissionClosesThePopupAndAsksForSetup) {
    type(";;s");
    ASSERT_TRUE(popup->isVisible());
    trust->trusted = false;
    coordinator->handlePermissionRevoked();
    EXPECT_FALSE(popup->isVisible());
    EXPECT_FALSE(coordinator->isSessionStarted());
    EXPECT_EQ(coordinator->triggerDetector().state(), TriggerDetector::State::idle);
    EXPECT_TRUE(coordinator->isOnboardingActive());
    QMenu* menu = coordinator->statusBar()->menu();
    const auto titles = [&] {
        std::vector<std::string> all;
        for (QAction* action : menu->actions()) {
            all.push_back(action->text().toStdString());
        }
        return all;
    }();
    EXPECT_THAT(titles, Contains("Finish Setup"));
    coordinator->finishOnboarding(true);
    EXPECT_FALSE(coordinator->isOnboardingActive());
}

// Our own writes beside config.json (history, trust) and rewrites of the same bytes reload nothing;
// a real change does, and an empty trigger turns completion off instead of matching nothing.
TEST_F(AppCoordinatorTest, OnlyARealChangeOfTheConfigFileReloadsIt) {
    lines.clear();
    coordinator->reloadGlobalConfig();
    EXPECT_THAT(lines.lines(), Not(Contains("[Korvane] Global config reloaded, merged with project config")));
    writeConfig(R"({"trigger": "//", "snippets": [{"key": "sig", "expand": "Cheers"}]})");
    coordinator->reloadGlobalConfig();
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Global config reloaded, merged with project config"));
    EXPECT_EQ(coordinator->triggerDetector().trigger(), "//");
    type("//sig");
    press(keycode::returnKey);
    EXPECT_EQ(field->text(), "Cheers");

    writeConfig(R"({"trigger": ""})");
    coordinator.reset();
    lines.clear();
    makeCoordinator();
    EXPECT_THAT(lines.lines(),
                Contains("[Korvane] Ready, but the trigger is empty: set \"trigger\" in config.json to activate."));
}

// Saving a built-in snippet must not replace a configuration file the user is halfway through editing.
TEST_F(AppCoordinatorTest, SavingRefusesToWriteOverAnUnparsableConfigFile) {
    type(";;shrug");
    const std::string broken = R"({"trigger": ";;", "snippets": [)";
    writeConfig(broken);
    press(1, "s", keyflag::command);
    ASSERT_FALSE(alerts->alerts().empty());
    EXPECT_EQ(alerts->alerts().back().title, "Save Failed");
    EXPECT_EQ(test::readAll(configDir / "config.json"), broken);
}

// Trusting asks first, listing what it unlocks, and stores exactly what it showed: a file changed
// while the question was open is offered again.
TEST_F(AppCoordinatorTest, TrustIsGivenKnowinglyForWhatWasShown) {
    const auto projectFile = [&](const std::string& command) {
        dir.write("project/.korvane.json", R"({"snippets": [{"key": "sig", "expand": "evil"}],
            "custom_providers": [{"id": "p", "label": "P", "command": ")" +
                                               command + R"("}]})");
    };
    projectFile("make list");
    coordinator->handleProjectChange((dir.path() / "project").string(), "project");
    settle();

    ConfigManager& config = *coordinator->configManager();
    alerts->confirmAnswer = false;
    coordinator->trustProjectCommands(0);
    ASSERT_EQ(alerts->alerts().size(), 1u);
    EXPECT_EQ(alerts->alerts()[0].title, "Trust This Project?");
    EXPECT_THAT(alerts->alerts()[0].message, HasSubstr("Commands it will run:\n    make list"));
    EXPECT_THAT(alerts->alerts()[0].message, HasSubstr("Snippets of yours it will replace:\n    sig"));
    EXPECT_EQ(config.projectsAwaitingTrust().size(), 1u);

    alerts->confirmAnswer = true;
    alerts->onShow = [&](const FakeAlertPresenter::Alert&) {
        projectFile("make worse");
        coordinator->handleProjectConfigChange();
    };
    coordinator->trustProjectCommands(0);
    alerts->onShow = nullptr;
    ASSERT_EQ(config.projectsAwaitingTrust().size(), 1u);
    EXPECT_THAT(config.projectsAwaitingTrust()[0].commands, testing::ElementsAre("make worse"));

    coordinator->trustProjectCommands(0);
    EXPECT_TRUE(config.projectsAwaitingTrust().empty());
    EXPECT_EQ(alerts->alerts().size(), 3u);
}

TEST_F(AppCoordinatorTest, KeysAfterTheCoordinatorIsGoneReachTheApplication) {
    std::shared_ptr<FakeKeyTap> tap = tapBackend->lastTap();
    coordinator.reset();
    TapEvent event;
    event.characters = ";";
    EXPECT_FALSE(tap->deliver(event).value_or(false));
    EXPECT_TRUE(tap->wasStopped());
}

} // namespace
} // namespace korvane

// ---- Onboarding, the shell's side: what ends it, what records it, and the permission's return ----
namespace korvane {
namespace {

QWidget* shownOnboardingWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == "onboardingWindow" && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

QPushButton* shownButton(QWidget* window, const char* name) {
    for (QPushButton* pressable : window->findChildren<QPushButton*>(name)) {
        if (pressable->isVisible()) {
            return pressable;
        }
    }
    return nullptr;
}

bool showsText(QWidget* window, const char* text) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->isVisible() && label->text() == text) {
            return true;
        }
    }
    return false;
}

TEST_F(AppCoordinatorTest, OnlyGetStartedRecordsTheOnboardingAndTheCloseButtonStoresNothing) {
    defaults->setBool(AppCoordinator::hasCompletedOnboardingKey, false);
    coordinator->showOnboarding(false);
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    shownButton(window, "close")->click();
    settle();
    EXPECT_FALSE(coordinator->isOnboardingActive());
    EXPECT_EQ(shownOnboardingWindow(), nullptr);
    EXPECT_FALSE(defaults->boolForKey(AppCoordinator::hasCompletedOnboardingKey));

    coordinator->showOnboarding(false);
    window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    window->close();
    settle();
    EXPECT_FALSE(coordinator->isOnboardingActive());
    EXPECT_FALSE(defaults->boolForKey(AppCoordinator::hasCompletedOnboardingKey));

    coordinator->showOnboarding(false);
    window = shownOnboardingWindow();
    shownButton(window, "setUpLater")->click();
    shownButton(window, "getStarted")->click();
    settle();
    EXPECT_FALSE(coordinator->isOnboardingActive());
    EXPECT_TRUE(defaults->boolForKey(AppCoordinator::hasCompletedOnboardingKey));
}

// A flow left open while the permission goes reopens at its last step asking for it, not offering
// "Get Started"; granting it then starts completion again without a restart.
TEST_F(AppCoordinatorTest, AfterRevocationTheOpenFlowAsksAgainAndTheGrantRestartsTheSession) {
    coordinator->showOnboarding(false);
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    trust->trusted = false;
    coordinator->handlePermissionRevoked();
    settle();
    EXPECT_TRUE(showsText(window, "Almost ready"));
    EXPECT_EQ(shownButton(window, "getStarted"), nullptr);
    ASSERT_NE(shownButton(window, "closeForNow"), nullptr);

    lines.clear();
    trust->grantAfterRequests = trust->requests + 1;
    shownButton(window, "grantPermission")->click();
    EXPECT_FALSE(coordinator->isSessionStarted()) << "the grant is seen at the next poll";
    scheduler.advance(1.0);
    settle();
    EXPECT_TRUE(coordinator->isSessionStarted());
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Ready. Type ;; to activate."));
    EXPECT_TRUE(showsText(window, "You're all set"));
    EXPECT_NE(shownButton(window, "getStarted"), nullptr);
    EXPECT_TRUE(coordinator->isOnboardingActive()) << "granting leaves the flow open";
    type(";;s");
    EXPECT_TRUE(popup->isVisible());
}

} // namespace
} // namespace korvane
