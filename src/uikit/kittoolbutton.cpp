#include "uikit/kittoolbutton.h"

#include "uikit/focusframe.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace korvane {
namespace {

constexpr double frameRadius = 4;
// The width of a raised button's edge.
constexpr double faceInset = 2;

} // namespace

KitToolButton::KitToolButton(QWidget* parent)
    : QToolButton(parent) {}

void KitToolButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // The style draws the button without its own focus frame; this one is drawn over it.
    option.state &= ~QStyle::State_HasFocus;
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
    if (!FocusFrame::shown(*this)) {
        return;
    }
    if (autoRaise()) {
        FocusFrame::paint(painter, QRectF(rect()), FocusFrame::color(*this), frameRadius);
        return;
    }
    // On a raised button the frame keeps inside the button's own edge, on its face.
    const QColor frame =
        FocusFrame::colorOn(palette().color(QPalette::Highlight), palette().color(QPalette::Button),
                            palette().color(QPalette::ButtonText));
    FocusFrame::paint(painter, QRectF(rect()).adjusted(faceInset, faceInset, -faceInset, -faceInset), frame,
                      frameRadius - faceInset / 2);
}

} // namespace korvane
