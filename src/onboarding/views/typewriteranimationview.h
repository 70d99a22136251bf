#pragma once

#include "onboarding/typewriteranimation.h"

#include <QVariantAnimation>
#include <QWidget>
#include <memory>

namespace korvane {

// Draws the welcome step's demonstration: the phase's caption with its dot, the mock field with its
// caret or check mark, and the mock popup that fades in and out in its fixed slot. Plays while on
// screen. Main thread.
class TypewriterAnimationView : public QWidget {
public:
    explicit TypewriterAnimationView(Scheduler& scheduler, QWidget* parent = nullptr);
    ~TypewriterAnimationView() override;

    TypewriterAnimation& animation() const { return *animation_; }
    // The popup's opacity as drawn (0 to 1).
    double popupOpacity() const { return popupOpacity_; }

    static QColor color(TypewriterAnimation::DemoColor color);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void changed();
    double paintField(QPainter& painter, double top, double width);
    void paintPopup(QPainter& painter, const QRectF& slot);

    std::shared_ptr<TypewriterAnimation> animation_;
    TypewriterAnimation::ObserverID observer_ = 0;
    bool popupShown_ = false;
    double popupOpacity_ = 0;
    QVariantAnimation fade_;
};

} // namespace korvane
