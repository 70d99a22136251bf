#include "onboardingviewtestsupport.h"

#include "uikit/animations.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <cstdlib>
#include <gtest/gtest.h>

namespace korvane::test {

void ensureOnboardingApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "korvane_onboarding_views_tests";
        static char* argv[] = {name, nullptr};
        Animations::setEnabled(false);
        return new QApplication(argc, argv);
    }();
    (void)app;
}

OnboardingFixture::OnboardingFixture(bool trusted) {
    ensureOnboardingApplication();
    trust->trusted = trusted;
    model = OnboardingViewModel::create(trust, scheduler);
    window = std::make_unique<OnboardingWindow>(model, OnboardingView::Environment{scheduler, {}});
    window->show();
    QApplication::processEvents();
}

bool OnboardingFixture::showsText(const std::string& text) const {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->isVisible() && label->text().toStdString() == text) {
            return true;
        }
    }
    return false;
}

void OnboardingFixture::click(const char* name) {
    QPushButton* pressable = shown(name);
    ASSERT_NE(pressable, nullptr) << name << " is not on screen";
    pressable->click();
    QApplication::processEvents();
}

void OnboardingFixture::advance(double seconds) {
    scheduler.advance(seconds);
    QApplication::processEvents();
}

void snapshot(QWidget& widget, const std::string& name) {
    QApplication::processEvents();
    if (const char* dir = std::getenv("KORVANE_SNAPSHOT_DIR")) {
        widget.grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
    }
}

} // namespace korvane::test
