#include "config/configloader.h"
#include "onboarding/views/onboardingwindow.h"
#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/fakeapplicationcatalog.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/manualscheduler.h"
#include "platform/qt/qtscheduler.h"
#include "settings/configurationviewmodel.h"
#include "settings/installedappscache.h"
#include "settings/views/configurationview.h"
#include "settings/views/configurationwindow.h"
#include "settings/views/installedappsview.h"
#include "shelltestsupport.h"
#include "support/logcapture.h"
#include "support/tempdir.h"
#include "uikit/animations.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QImageReader>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollArea>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

class ShellWindowTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureShellApplication(); }
};

TEST_F(ShellWindowTest, OnboardingReportsEachClosingOnceAndClosingNeverEndsTheProgram) {
    bool lastWindowClosed = false;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, [&] { lastWindowClosed = true; });
    ASSERT_TRUE(QGuiApplication::quitOnLastWindowClosed());

    ManualScheduler scheduler;
    OnboardingWindow window(
        OnboardingViewModel::create(std::make_shared<FakeAccessibilityTrust>(), scheduler),
        OnboardingView::Environment{scheduler, {}});
    int closes = 0;
    window.onWindowClose = [&] { ++closes; };
    EXPECT_EQ(window.windowTitle().toStdString(), "Korvane");
    EXPECT_EQ(window.minimumSize(), QSize(700, 570));
    EXPECT_EQ(window.maximumSize(), QSize(700, 570));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

    window.showAndActivate();
    EXPECT_TRUE(window.isVisible());
    window.close();
    window.close();
    EXPECT_EQ(closes, 1);
    window.showAndActivate();
    window.close();
    EXPECT_EQ(closes, 2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(lastWindowClosed);
}

// Records which widget each mouse press of a real click is delivered to, and stops it there, so that
// walking a window's controls changes nothing in it.
class PressRecorder final : public QObject {
public:
    PressRecorder() { qApp->installEventFilter(this); }
    ~PressRecorder() override { qApp->removeEventFilter(this); }
    QPointer<QWidget> pressed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        if (!watched->isWidgetType() ||
            (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
             type != QEvent::MouseButtonDblClick)) {
            return false;
        }
        if (type != QEvent::MouseButtonRelease) {
            pressed = static_cast<QWidget*>(watched);
        }
        return true;
    }
};

bool isControl(QWidget* widget) {
    return qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
           qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractSpinBox*>(widget) ||
           qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QAbstractSlider*>(widget) ||
           qobject_cast<QAbstractItemView*>(widget);
}

// Clicks the centre of every control `window` shows now, through the window as the desktop would, and
// expects the window to find that control there (or one of its own parts) and the press to reach it.
void clickEveryControl(QWidget& window, const std::string& state) {
    SCOPED_TRACE(state);
    QCoreApplication::processEvents();
    std::vector<QPointer<QWidget>> controls;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (isControl(widget) && widget->isVisibleTo(&window) && !widget->rect().isEmpty()) {
            controls.emplace_back(widget);
        }
    }
    ASSERT_FALSE(controls.empty());
    PressRecorder recorder;
    for (const QPointer<QWidget>& control : controls) {
        ASSERT_TRUE(control);
        for (QWidget* up = control->parentWidget(); up && up != &window; up = up->parentWidget()) {
            if (auto* area = qobject_cast<QScrollArea*>(up); area && area->widget()->isAncestorOf(control)) {
                area->ensureWidgetVisible(control, 0, 0);
            }
        }
        const QString name =
            control->objectName().isEmpty() ? control->accessibleName() : control->objectName();
        const std::string what = std::string(control->metaObject()->className()) + " " + name.toStdString();
        const QPoint centre = control->mapTo(&window, control->rect().center());
        QWidget* found = window.childAt(centre);
        EXPECT_TRUE(found == control || control->isAncestorOf(found))
            << what << " is covered by " << (found ? found->metaObject()->className() : "nothing") << " "
            << (found ? found->objectName().toStdString() : "");
        recorder.pressed = nullptr;
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, centre);
        EXPECT_TRUE(recorder.pressed &&
                    (recorder.pressed == control || control->isAncestorOf(recorder.pressed)))
            << what << " did not get the click";
    }
}

// Nothing drawn or invisible lies over a control: every one of both windows takes a click at its centre.
TEST_F(ShellWindowTest, EveryControlOfBothWindowsTakesAClickAtItsCentre) {
    Animations::setEnabled(false);
    test::LogCapture log;
    test::TempDir dir;
    ConfigLoader loader(dir.path());
    AppConfig config;
    config.snippets.push_back(ManualSnippet{.key = "sig", .expand = "Best,\nAda"});
    config.appSnippets =
        std::vector{AppSnippetConfig{.bundleId = "org.gnome.TextEditor", .appName = "Text Editor"}};
    loader.writeConfig(config);
    ManualScheduler scheduler;
    auto model = std::make_shared<ConfigurationViewModel>(loader, scheduler, nullptr, nullptr);
    ConfigurationWindow settings(
        model, ConfigurationServices{.scheduler = &scheduler, .configFile = loader.configFilePath()});
    settings.resize(ConfigurationWindow::width, ConfigurationWindow::height);
    settings.show();
    clickEveryControl(settings, "snippets, global");
    model->setSelectedAppBundleId("org.gnome.TextEditor");
    clickEveryControl(settings, "snippets, Text Editor");
    settings.view().setPage(ConfigurationPage::preferences);
    clickEveryControl(settings, "preferences");

    for (bool trusted : {false, true}) {
        auto trust = std::make_shared<FakeAccessibilityTrust>();
        trust->trusted = trusted;
        OnboardingWindow onboarding(OnboardingViewModel::create(trust, scheduler),
                                    OnboardingView::Environment{scheduler, {}});
        onboarding.show();
        for (auto step : {OnboardingStep::welcome, OnboardingStep::experience, OnboardingStep::ready}) {
            onboarding.viewModel()->setCurrentStep(step);
            clickEveryControl(onboarding, std::string(OnboardingView::stepTitle(step)) +
                                              (trusted ? ", granted" : ", not granted"));
        }
    }
}

TEST_F(ShellWindowTest, ConfigurationWindowKeepsItsViewModelAcrossClosing) {
    test::LogCapture log;
    test::TempDir dir;
    ConfigLoader loader(dir.path());
    ManualScheduler scheduler;
    auto model = std::make_shared<ConfigurationViewModel>(loader, scheduler, nullptr, nullptr);
    EXPECT_EQ(model->saveGeneration(), 0u);
    EXPECT_EQ(model->draftConfig().trigger, ";;");

    ConfigurationWindow window(model);
    EXPECT_EQ(window.windowTitle().toStdString(), "Korvane Configuration");
    EXPECT_EQ(window.minimumSize(), QSize(900, 650));
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    window.showAndActivate();
    window.close();
    EXPECT_FALSE(window.isVisible());

    AppConfig changed;
    changed.trigger = "//";
    loader.writeConfig(changed);
    EXPECT_EQ(window.viewModel()->draftConfig().trigger, ";;");
    window.viewModel()->reloadDraftFromDisk();
    EXPECT_EQ(window.viewModel()->draftConfig().trigger, "//");
}

// Both windows show installed applications' icons through the one loader. Nine of the applications
// name hostile icons (4000 × 4000 PNGs, a FIFO by path and by a name climbing out of the icon
// folders); the tenth a plain one. Every decode runs on a background thread, nothing blocks, the
// GUI thread never stalls for long while they load, and the plain icon arrives.
TEST_F(ShellWindowTest, BothWindowsDecodeIconsOnlyOffTheGuiThread) {
    test::TempDir dir;
    QImage picture(4000, 4000, QImage::Format_ARGB32);
    picture.fill(QColor(40, 120, 160));
    const std::string huge = (dir.path() / "huge.png").string();
    ASSERT_TRUE(picture.save(QString::fromStdString(huge)));
    const std::string plain = (dir.path() / "plain.png").string();
    ASSERT_TRUE(picture.scaled(48, 48).save(QString::fromStdString(plain)));
    const std::string fifo = (dir.path() / "evil.png").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    auto catalog = std::make_shared<FakeApplicationCatalog>();
    std::vector<InstalledApp> apps;
    for (int i = 0; i < 10; ++i) {
        const std::string id = "app" + std::to_string(i);
        apps.push_back({id, "App " + std::to_string(i), "/usr/share/applications/" + id + ".desktop"});
        catalog->icons[id] = i == 0 ? plain : i == 1 ? fifo : i == 2 ? "../../../../var/tmp/evil" : huge;
    }
    FakeClock clock;
    InstalledAppsCache cache(clock);
    cache.store(apps);

    QtScheduler scheduler;
    std::atomic<int> decodes{0};
    std::atomic<int> decodesOnGuiThread{0};
    auto icons = std::make_shared<const IconLoader>(
        scheduler, [&](const std::string& spec, int side, const IconThemeLookup& themes) {
            ++decodes;
            if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
                ++decodesOnGuiThread;
            }
            return IconLoader::decode(spec, side, themes);
        });
    const qsizetype allocationLimit = QImageReader::allocationLimit();

    using Clock = std::chrono::steady_clock;
    std::chrono::milliseconds longestStall{0};
    auto last = Clock::now();
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestStall =
            std::max(longestStall, std::chrono::duration_cast<std::chrono::milliseconds>(now - last));
        last = now;
    });
    probe.start();

    const ConfigurationServices services{nullptr, nullptr, catalog, &scheduler, {}, "korvane", icons};
    InstalledAppsView sheet(services, nullptr, {}, &cache);
    sheet.show();
    const StaticAppDemoCard::IconLookup hostile = [&](const std::string& id) -> std::optional<std::string> {
        return id == "org.gnome.Terminal" ? "../../../../var/tmp/evil" : id == "slack" ? fifo : huge;
    };
    StaticAppDemoCard terminal("Terminal", ";;", {"main"}, hostile, icons.get());
    StaticAppDemoCard slack("Slack", ";;", {"lgtm"}, hostile, icons.get());
    StaticAppDemoCard mail("Mail", ";;", {"Best"}, hostile, icons.get());
    // No decode running or still queued (a queued job counts as no active thread).
    const auto settled = [&] { return decodes >= 4 && QThreadPool::globalInstance()->waitForDone(0); };
    // Settled only when a whole pass of events, which delivers icons and may ask for more rows'
    // icons, starts no new decode.
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (settled()) {
            QCoreApplication::processEvents();
            if (settled()) {
                break;
            }
        }
    }
    probe.stop();
    longestStall =
        std::max(longestStall, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last));

    ASSERT_TRUE(settled());
    EXPECT_EQ(decodesOnGuiThread, 0);
    EXPECT_LT(longestStall.count(), 2000)
        << "a generous bound: decoding a 4000 × 4000 PNG takes seconds here";
    for (auto* card : {&terminal, &slack, &mail}) {
        EXPECT_NE(card->findChild<QWidget*>("appSymbol"), nullptr);
        EXPECT_EQ(card->findChild<QWidget*>("appIcon"), nullptr);
    }
    auto* list = sheet.findChild<QListWidget*>("appList");
    ASSERT_NE(list, nullptr);
    const QImage shown = list->item(0)->icon().pixmap(32, 32).toImage();
    EXPECT_EQ(shown.pixelColor(16, 16), QColor(40, 120, 160)) << "the plain icon arrives";
    EXPECT_EQ(QImageReader::allocationLimit(), allocationLimit);
}

} // namespace
} // namespace korvane
