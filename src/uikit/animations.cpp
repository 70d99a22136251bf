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

// Moves `target` by a few pixels toward `edge` (or from it, when `arriving`) over `milliseconds`.
void slide(QWidget* target, Animations::Edge edge, bool arriving, int milliseconds) {
    if (edge == Animations::Edge::none) {
        return;
    }
    const QPoint rest = target->pos();
    const QPoint away =
        edge == Animations::Edge::top ? rest - QPoint(0, slideDistance) : rest - QPoint(slideDistance, 0);
    auto* move = new QPropertyAnimation(target, "pos", target);
    move->setDuration(milliseconds);
    move->setStartValue(arriving ? away : rest);
    move->setEndValue(arriving ? rest : away);
    move->setEasingCurve(QEasingCurve::OutCubic);
    move->start(QAbstractAnimation::DeleteWhenStopped);
}

// A still picture laid over `parent` at `geometry` that fades out and then deletes itself.
QLabel* fadingPicture(QWidget* parent, const QPixmap& picture, const QRect& geometry, int milliseconds) {
    auto* veil = new QLabel(parent);
    veil->setObjectName(QStringLiteral("fadingPicture"));
    veil->setAttribute(Qt::WA_TransparentForMouseEvents);
    veil->setPixmap(picture);
    veil->setGeometry(geometry);
    veil->show();
    veil->raise();
    auto* effect = new QGraphicsOpacityEffect(veil);
    veil->setGraphicsEffect(effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", veil);
    fade->setDuration(milliseconds);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    fade->setEasingCurve(QEasingCurve::OutCubic);
    QObject::connect(fade, &QPropertyAnimation::finished, veil, &QObject::deleteLater);
    fade->start();
    return veil;
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
    if (!widget->parentWidget() || widget->parentWidget()->layout()) {
        // A widget in a layout is placed by the layout; only its opacity can move.
        return;
    }
    slide(widget, edge, true, milliseconds);
}

void Animations::fadeOut(QWidget* widget, int milliseconds, Edge edge) {
    if (!widget || !enabled() || !widget->parentWidget() || !widget->isVisible()) {
        return;
    }
    // Painted over the background it stood on, so that what replaces it shows through only as the
    // picture fades.
    QPixmap picture(widget->size() * widget->devicePixelRatioF());
    picture.setDevicePixelRatio(widget->devicePixelRatioF());
    picture.fill(widget->palette().color(QPalette::Window));
    widget->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
    slide(fadingPicture(widget->parentWidget(), picture, widget->geometry(), milliseconds), edge, false,
          milliseconds);
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
    const QPixmap picture = old->grab();
    const QRect geometry = old->geometry();
    stack->setCurrentIndex(index);
    fadingPicture(stack, picture, geometry, milliseconds);
    animateOpacity(stack->currentWidget(), 0.0, 1.0, milliseconds);
}

} // namespace korvane
