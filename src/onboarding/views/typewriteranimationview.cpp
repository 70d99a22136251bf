#include "onboarding/views/typewriteranimationview.h"

#include "onboarding/views/onboardingstyle.h"
#include "uikit/animations.h"
#include "uikit/symbolicon.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace korvane {
namespace {

using namespace onboardingstyle;

constexpr double padding = 16;
constexpr double spacing = 8;
constexpr double fieldPaddingX = 10;
constexpr double fieldPaddingY = 8;
constexpr double rowPaddingX = 8;
constexpr double rowPaddingY = 5;
constexpr int fadeMs = 200;

bool tinted(TypewriterAnimation::Phase phase) {
    return phase == TypewriterAnimation::Phase::trigger || phase == TypewriterAnimation::Phase::filtering;
}

} // namespace

TypewriterAnimationView::TypewriterAnimationView(Scheduler& scheduler, QWidget* parent)
    : QWidget(parent)
    , animation_(TypewriterAnimation::create(scheduler)) {
    setObjectName("typewriter");
    setMinimumHeight(
        static_cast<int>(2 * padding + 16 + 2 * spacing + 34 + TypewriterAnimation::popupContainerHeight));
    fade_.setDuration(fadeMs);
    fade_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        popupOpacity_ = value.toDouble();
        QWidget::update();
    });
    observer_ = animation_->addObserver([this] { changed(); });
    setAccessibleName(TypewriterAnimation::caption(animation_->phase()));
}

TypewriterAnimationView::~TypewriterAnimationView() {
    animation_->removeObserver(observer_);
    animation_->stopAnimation();
}

QColor TypewriterAnimationView::color(TypewriterAnimation::DemoColor color) {
    switch (color) {
    case TypewriterAnimation::DemoColor::gray:
        return QColor(142, 142, 147);
    case TypewriterAnimation::DemoColor::orange:
        return orange();
    case TypewriterAnimation::DemoColor::blue:
        return accent();
    case TypewriterAnimation::DemoColor::purple:
        return QColor(175, 82, 222);
    }
    return QColor(142, 142, 147);
}

void TypewriterAnimationView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    animation_->startAnimation();
}

void TypewriterAnimationView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    animation_->stopAnimation();
}

void TypewriterAnimationView::changed() {
    const bool shown = animation_->showPopup();
    if (shown != popupShown_) {
        popupShown_ = shown;
        fade_.stop();
        if (Animations::enabled() && isVisible()) {
            fade_.setStartValue(popupOpacity_);
            fade_.setEndValue(shown ? 1.0 : 0.0);
            fade_.start();
        } else {
            popupOpacity_ = shown ? 1.0 : 0.0;
        }
    }
    const QString caption = TypewriterAnimation::caption(animation_->phase());
    if (accessibleName() != caption) {
        setAccessibleName(caption);
    }
    QWidget::update();
}

void TypewriterAnimationView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(outline, windowBackground(0.5));
    painter.setClipPath(outline);

    const double width = this->width() - 2 * padding;
    double top = padding;
    // The status line: the phase's dot and caption.
    const QFont captionFont = systemFont(11);
    const QFontMetricsF captionMetrics(captionFont);
    const double lineHeight = std::max(8.0, captionMetrics.height());
    const auto phase = animation_->phase();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color(TypewriterAnimation::dotColor(phase)));
    painter.drawEllipse(QRectF(padding, top + (lineHeight - 8) / 2, 8, 8));
    painter.setFont(captionFont);
    painter.setPen(secondaryText());
    painter.drawText(QRectF(padding + 14, top, width - 14, lineHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     TypewriterAnimation::caption(phase));
    top += lineHeight + spacing;

    top += paintField(painter, top, width) + spacing;
    paintPopup(painter, QRectF(padding, top, width, TypewriterAnimation::popupContainerHeight));
}

// The mock field; returns its height.
double TypewriterAnimationView::paintField(QPainter& painter, double top, double width) {
    const QFont font = monospacedFont(13);
    const QFontMetricsF metrics(font);
    const double height = metrics.height() + 2 * fieldPaddingY;
    const QRectF box(padding, top, width, height);
    const bool orangeTint = tinted(animation_->phase());
    QPainterPath shape;
    shape.addRoundedRect(box, 6, 6);
    painter.fillPath(shape, orangeTint ? QColor(255, 149, 0, 20) : textBackground());
    painter.setPen(QPen(orangeTint ? QColor(255, 149, 0, 77) : separator(), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 5.5, 5.5);

    const QString text = QString::fromStdString(animation_->displayedText());
    const double textLeft = box.left() + fieldPaddingX;
    const QRectF line(textLeft, box.top() + fieldPaddingY, width - 2 * fieldPaddingX, metrics.height());
    painter.setFont(font);
    painter.setPen(primaryText());
    painter.drawText(line, Qt::AlignVCenter | Qt::AlignLeft, text);
    const double caretLeft = textLeft + metrics.horizontalAdvance(text);
    if (animation_->showCheckmark()) {
        SymbolIcon::paint(painter, "checkmark.circle.fill",
                          QRectF(caretLeft + 4, line.center().y() - 7, 14, 14), green());
    } else if (animation_->cursorVisible()) {
        painter.setPen(accent());
        painter.drawText(QRectF(caretLeft, line.top(), metrics.horizontalAdvance('|'), line.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("|"));
    }
    return height;
}

void TypewriterAnimationView::paintPopup(QPainter& painter, const QRectF& slot) {
    if (popupOpacity_ <= 0) {
        return;
    }
    const auto rows = animation_->filteredRows();
    const QFont badgeFont = systemFont(10, QFont::Medium);
    const QFont labelFont = monospacedFont(12);
    const QFont hintFont = systemFont(10);
    const double rowHeight = QFontMetricsF(labelFont).height() + 2 * rowPaddingY;
    const double hintHeight = rows.empty() ? 0 : QFontMetricsF(hintFont).height() + 6;
    const double contentHeight =
        std::min(slot.height(), static_cast<double>(rows.size()) * rowHeight + hintHeight);

    painter.save();
    painter.setOpacity(popupOpacity_);
    const QRectF box(slot.left(), slot.top(), slot.width(), contentHeight);
    // The shadow: black at 0.15, about 8 points soft, 2 points down.
    for (int ring = 8; ring > 0; ring -= 2) {
        QPainterPath shadow;
        shadow.addRoundedRect(box.translated(0, 2).adjusted(-ring / 2.0, -ring / 2.0, ring / 2.0, ring / 2.0),
                              6 + ring / 2.0, 6 + ring / 2.0);
        painter.fillPath(shadow, QColor(0, 0, 0, 38 / 4));
    }
    QPainterPath shape;
    shape.addRoundedRect(box, 6, 6);
    painter.fillPath(shape, popupBackground());
    painter.setClipPath(shape);

    double top = box.top();
    for (const auto& row : rows) {
        const QRectF rowBox(box.left(), top, box.width(), rowHeight);
        if (row.id == "1") {
            painter.fillRect(rowBox, QColor(0, 122, 255, 26));
        }
        const QString badge = QString::fromStdString(row.badge);
        const QFontMetricsF badgeMetrics(badgeFont);
        const QRectF badgeBox(rowBox.left() + rowPaddingX,
                              rowBox.center().y() - (badgeMetrics.height() + 4) / 2,
                              badgeMetrics.horizontalAdvance(badge) + 10, badgeMetrics.height() + 4);
        QPainterPath badgeShape;
        badgeShape.addRoundedRect(badgeBox, 3, 3);
        painter.fillPath(badgeShape, badgeFill(color(row.badgeColor)));
        painter.setFont(badgeFont);
        painter.setPen(Qt::white);
        painter.drawText(badgeBox, Qt::AlignCenter, badge);

        const auto parts = animation_->highlightedLabel(row.label);
        double x = badgeBox.right() + 8;
        for (const auto& [part, bold] :
             {std::pair{parts.before, false}, {parts.bold, true}, {parts.after, false}}) {
            if (part.empty()) {
                continue;
            }
            QFont font = labelFont;
            font.setBold(bold);
            painter.setFont(font);
            painter.setPen(primaryText());
            const QString text = QString::fromStdString(part);
            painter.drawText(QRectF(x, rowBox.top(), rowBox.right() - x, rowBox.height()),
                             Qt::AlignVCenter | Qt::AlignLeft, text);
            x += QFontMetricsF(font).horizontalAdvance(text);
        }
        top += rowHeight;
    }
    if (!rows.empty()) {
        painter.setFont(hintFont);
        painter.setPen(tertiaryText());
        painter.drawText(QRectF(box.left() + 8, top, box.width() - 16, hintHeight),
                         Qt::AlignVCenter | Qt::AlignRight, QStringLiteral("Tab accept"));
    }
    painter.restore();
}

} // namespace korvane
