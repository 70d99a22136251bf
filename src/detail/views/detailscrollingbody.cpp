#include "detail/views/detailscrollingbody.h"

#include "detail/detailtextwrap.h"
#include "popup/views/surfacepainter.h"
#include "popup/views/viewanimations.h"
#include "popup/views/wrappedtext.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace korvane {

DetailScrollingBody::DetailScrollingBody(QWidget& column)
    : column_(&column) {
    animation_.setStartValue(0.0);
    animation_.setEndValue(1.0);
    animation_.setDuration(static_cast<int>(scrollSeconds * 1000));
    animation_.setEasingCurve(popupEaseOut());
    QObject::connect(&animation_, &QVariantAnimation::valueChanged, &animation_,
                     [this](const QVariant& value) {
                         progress_ = value.toDouble();
                         if (column_) {
                             column_->update();
                         }
                     });
}

bool DetailScrollingBody::setText(const std::string& text, int width) {
    const bool textChanged = !hasText_ || text != text_;
    if (!textChanged && width == width_) {
        return false;
    }
    if (textChanged) {
        text_ = text;
        hasText_ = true;
        animation_.stop();
        targetRow_.reset();
        offset_ = 0;
        progress_ = 1;
    }
    width_ = width;
    lines_ = wrapText(text_, width_);
    return textChanged;
}

void DetailScrollingBody::scrollTo(int position) {
    const std::size_t target = static_cast<std::size_t>(std::max(position - 1, 0));
    if (target >= lines_.size()) {
        return;
    }
    targetRow_ = target;
    fromOffset_ = offset_;
    animation_.stop();
    if (ViewAnimations::enabled() && !ViewAnimations::reduceMotion()) {
        progress_ = 0;
        animation_.start();
    } else {
        progress_ = 1;
    }
    if (column_) {
        column_->update();
    }
}

double DetailScrollingBody::targetOffset(double headerHeight, double rowHeight, double maxOffset) const {
    if (!targetRow_) {
        return 0;
    }
    return std::clamp(headerHeight + static_cast<double>(*targetRow_) * rowHeight, 0.0, maxOffset);
}

void DetailScrollingBody::paint(DetailPaintCursor& cursor, const std::optional<std::string>& heading,
                                bool forceDivider, double lineOpacity, bool focused) {
    QPainter& painter = cursor.painter();
    const double f = cursor.fontSize();
    const QRectF view(cursor.left(), cursor.y(), cursor.width(), cursor.remaining());
    const QFont headingFont = cursor.font(FontRoles::Design::monospaced, f - 1, QFont::Medium);
    const QFont lineFont = cursor.font(FontRoles::Design::monospaced, f - 2);
    const double rowHeight = std::ceil(QFontMetricsF(lineFont).height());

    std::optional<WrappedText> headingText;
    double headerHeight = 0;
    if (heading) {
        headingText.emplace(QString::fromStdString(*heading), headingFont, view.width());
        headerHeight += headingText->height() + headingGap;
    }
    const bool divider = heading.has_value() || forceDivider;
    if (divider) {
        headerHeight += 1 + headingGap;
    }
    const double contentHeight = headerHeight + rowHeight * static_cast<double>(lines_.size());
    const double maxOffset = std::max(0.0, contentHeight - view.height());
    const double target = targetOffset(headerHeight, rowHeight, maxOffset);
    offset_ = std::clamp(fromOffset_ + (target - fromOffset_) * progress_, 0.0, maxOffset);
    if (progress_ >= 1) {
        fromOffset_ = offset_;
    }

    painter.save();
    painter.setClipRect(view, Qt::IntersectClip);
    const double top = view.top() - offset_;
    if (headingText && top + headingText->height() > view.top()) {
        headingText->paint(painter, cursor.context(), QPointF(view.left(), top), cursor.primary(0.8),
                           "detail.heading");
        for (const QString& line : headingText->lines()) {
            cursor.note(line.toStdString());
        }
    }
    if (divider) {
        const double dividerTop = top + (headingText ? headingText->height() + headingGap : 0);
        SurfacePainter::horizontalDivider(painter, QRectF(view.left(), dividerTop, view.width(), 1),
                                          cursor.context().surface);
    }
    // Only the rows in view are drawn.
    const double rowsTop = top + headerHeight;
    const auto first =
        static_cast<std::size_t>(std::max(0.0, std::floor((view.top() - rowsTop) / rowHeight)));
    const Color color = cursor.primary(lineOpacity);
    for (std::size_t row = first; row < lines_.size(); ++row) {
        const double y = rowsTop + rowHeight * static_cast<double>(row);
        if (y >= view.bottom()) {
            break;
        }
        cursor.context().drawText(painter, QRectF(view.left(), y, view.width(), rowHeight),
                                  TextRun{QString::fromStdString(lines_[row]), lineFont, color},
                                  Qt::AlignLeft, "detail.line");
        cursor.note(lines_[row]);
    }
    painter.restore();

    // Indicators only while the panel has the keyboard focus, and only when there is more to see.
    if (focused && contentHeight > view.height() && view.height() > 0) {
        const double length = std::max(16.0, view.height() * view.height() / contentHeight);
        const double travel = view.height() - length;
        const double at = maxOffset > 0 ? offset_ / maxOffset * travel : 0;
        QPainterPath knob;
        knob.addRoundedRect(QRectF(view.right() + 6, view.top() + at, 3, length), 1.5, 1.5);
        painter.fillPath(knob, PaintContext::qcolor(cursor.primary(0.35)));
    }
    cursor.advance(view.height());
}

} // namespace korvane
