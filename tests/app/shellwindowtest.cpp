#include "settings/configurationviewmodel.h"
#include "settings/views/configurationwindow.h"
#include "onboarding/views/onboardingwindow.h"

#include "config/configloader.h"
#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/manualscheduler.h"
#include "shelltestsupport.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

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

} // namespace
} // namespace korvane
