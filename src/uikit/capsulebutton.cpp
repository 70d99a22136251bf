#include "uikit/capsulebutton.h"

#include "uikit/capsulebuttonaccessible.h"
#include "uikit/focusframe.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QAccessible>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace korvane {
namespace {

constexpr int contentSpacing = 4;

} // namespace

CapsuleButton::CapsuleButton(const QString& text, QWidget* parent)
    : QAbstractButton(parent) {
    // Before anything that tells assistive technology about the button: an interface asked for
    // before the factory is there would be a plain button's, and stay cached for this one.
    CapsuleButtonAccessible::install();
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    refreshAccessibleName();
}

void CapsuleButton::setSymbol(const std::string& symbol, int size) {
    symbol_ = symbol;
    symbolSize_ = size;
    picture_ = QIcon();
    updateGeometry();
    update();
}

void CapsuleButton::setPicture(const QIcon& icon, int size) {
    picture_ = icon;
    pictureSize_ = size;
    symbol_.clear();
    updateGeometry();
    update();
}

void CapsuleButton::setSelected(bool selected) {
    if (selectable_ && selected_ == selected) {
        return;
    }
    selectable_ = true;
    selected_ = selected;
    updateGeometry();
    update();
    QAccessible::State changed;
    changed.selected = true;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

void CapsuleButton::setIdleFill(std::optional<QColor> fill) {
    idleFill_ = fill;
    update();
}

void CapsuleButton::setPadding(int horizontal, int vertical) {
    horizontalPadding_ = horizontal;
    verticalPadding_ = vertical;
    updateGeometry();
}

void CapsuleButton::setPointSize(double points) {
    pointSize_ = points;
    updateGeometry();
}

QFont CapsuleButton::textFont() const {
    QFont f = font();
    if (pointSize_ > 0) {
        f.setPointSizeF(pointSize_);
    }
    f.setWeight(selected_ ? QFont::DemiBold : QFont::Normal);
    return f;
}

int CapsuleButton::iconSize() const {
    if (!symbol_.empty()) {
        return symbolSize_;
    }
    return picture_.isNull() ? 0 : pictureSize_;
}

void CapsuleButton::refreshAccessibleName() {
    setAccessibleName(text().isEmpty() ? toolTip() : text());
}

QSize CapsuleButton::sizeHint() const {
    // Measured in the semibold face, so that selecting a tab does not make it jump.
    QFont bold = textFont();
    bold.setWeight(QFont::DemiBold);
    const QFontMetrics metrics(bold);
    int width = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    const int icon = iconSize();
    if (icon > 0) {
        width += icon + (text().isEmpty() ? 0 : contentSpacing);
    }
    const int height = std::max(metrics.height(), icon);
    return {width + 2 * horizontalPadding_, height + 2 * verticalPadding_};
}

bool CapsuleButton::event(QEvent* event) {
    // A symbol-only button is named by its tooltip, which is usually set after construction.
    if (event->type() == QEvent::ToolTipChange && text().isEmpty()) {
        refreshAccessibleName();
    }
    return QAbstractButton::event(event);
}

void CapsuleButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = bounds.height() / 2;
    const std::optional<QColor> fill =
        selected_ ? KitColors::withAlpha(KitColors::accent(*this), 0.15) : idleFill_;
    if (fill) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(*fill);
        painter.drawRoundedRect(bounds, radius, radius);
    }
    if (hasFocus()) {
        // On the capsule's own edge: it stands out from the fill as from what lies around.
        FocusFrame::paint(painter, QRectF(rect()),
                          fill ? FocusFrame::colorOver(*this, *fill) : FocusFrame::color(*this), radius);
    }
    const QColor foreground =
        selected_ || isDown() ? KitColors::primaryText(*this) : KitColors::secondaryText(*this);
    const QFont font = textFont();
    const QFontMetrics metrics(font);
    const int icon = iconSize();
    int contentWidth = text().isEmpty() ? 0 : metrics.horizontalAdvance(text());
    if (icon > 0) {
        contentWidth += icon + (text().isEmpty() ? 0 : contentSpacing);
    }
    double x = (width() - contentWidth) / 2.0;
    if (icon > 0) {
        const QRectF iconBox(x, (height() - icon) / 2.0, icon, icon);
        if (!symbol_.empty()) {
            SymbolIcon::paint(painter, symbol_, iconBox, foreground);
        } else {
            picture_.paint(&painter, iconBox.toRect());
        }
        x += icon + contentSpacing;
    }
    if (!text().isEmpty()) {
        painter.setFont(font);
        painter.setPen(foreground);
        painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }
}

} // namespace korvane
