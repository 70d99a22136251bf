#include "uikit/animations.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QStackedWidget>
#include <atomic>

namespace korvane {
namespace {

std::atomic<bool> animationsEnabled{true};

constexpr int slideDistance = 8;

// Runs an opacity animation on `target`; the effect is removed when it ends, so that a finished
// widget paints exactly as one that never animated.
void animateOpacity(QWidget* target, double from, double to, int milliseconds) {
    auto* effect = new QGraphicsOpacityEffect(target);
    effect->setOpacity(from);
    target->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", effect);
    fade->setDuration(milliseconds);
    fade->setStartValue(from);
    fade->setEndValue(to);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    QObject::connect(fade, &QPropertyAnimation::finished, target,
                     [target] { target->setGraphicsEffect(nullptr); });
    fade->start();
}

} // namespace

bool Animations::enabled() {
    return animationsEnabled.load();
}

void Animations::setEnabled(bool enabled) {
    animationsEnabled.store(enabled);
}

void Animations::fadeIn(QWidget* widget, int milliseconds, Edge edge) {
    if (!widget || !enabled()) {
        return;
    }
    animateOpacity(widget, 0.0, 1.0, milliseconds);
    if (edge == Edge::none || !widget->parentWidget() || widget->parentWidget()->layout()) {
        // A widget in a layout is placed by the layout; only its opacity can move.
        return;
    }
    const QPoint end = widget->pos();
    const QPoint start = edge == Edge::top ? end - QPoint(0, slideDistance) : end - QPoint(slideDistance, 0);
    auto* slide = new QPropertyAnimation(widget, "pos", widget);
    slide->setDuration(milliseconds);
    slide->setStartValue(start);
    slide->setEndValue(end);
    slide->setEasingCurve(QEasingCurve::OutCubic);
    slide->start(QAbstractAnimation::DeleteWhenStopped);
}

void Animations::crossFade(QStackedWidget* stack, int index, int milliseconds) {
    if (!stack || stack->currentIndex() == index) {
        return;
    }
    QWidget* old = stack->currentWidget();
    if (!enabled() || !old || !stack->isVisible()) {
        stack->setCurrentIndex(index);
        return;
    }
    // The old page fades out as a still picture laid over the new one, which fades in beneath it.
    auto* veil = new QLabel(stack);
    veil->setPixmap(old->grab());
    veil->setGeometry(old->geometry());
    stack->setCurrentIndex(index);
    veil->show();
    veil->raise();
    animateOpacity(stack->currentWidget(), 0.0, 1.0, milliseconds);
    auto* effect = new QGraphicsOpacityEffect(veil);
    veil->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", veil);
    fade->setDuration(milliseconds);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    QObject::connect(fade, &QPropertyAnimation::finished, veil, &QObject::deleteLater);
    fade->start();
}

} // namespace korvane
