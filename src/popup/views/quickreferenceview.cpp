#include "popup/views/quickreferenceview.h"

#include "config/scoperegistry.h"
#include "popup/views/viewanimations.h"
#include "popup/views/wrappedtext.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace korvane {
namespace {

struct Fonts {
    QFont title;
    QFont section;
    QFont key;
    QFont description;
    QFont footer;
};

Fonts fontsFor(const PaintContext& context) {
    const double f = context.fontSize();
    const double row = FontRoles::nearest(f * 0.8);
    return Fonts{context.font(FontRoles::Design::monospaced, f, QFont::DemiBold),
                 context.font(FontRoles::Design::standard, FontRoles::nearest(f * 0.85), QFont::DemiBold),
                 context.font(FontRoles::Design::monospaced, row, QFont::Medium),
                 context.font(FontRoles::Design::standard, row, QFont::Normal),
                 context.font(FontRoles::Design::standard, FontRoles::nearest(f * 0.7), QFont::Normal)};
}

double descriptionWidth(double width) {
    return std::max(1.0, width - 2 * QuickReferenceView::inset - QuickReferenceView::keyColumnWidth -
                             QuickReferenceView::keySpacing);
}

} // namespace

// Named as they are pressed on this desktop: the popup's actions take Ctrl with the letter.
const std::vector<QuickReferenceView::Shortcut>& QuickReferenceView::quickReferenceShortcuts() {
    static const std::vector<Shortcut> shortcuts = {
        {"Tab / Return", "Accept and insert"},
        {"Space", "Toggle detail panel"},
        {"Ctrl+C", "Copy to clipboard"},
        {"Ctrl+O", "Open URL in browser"},
        {"Ctrl+R", "Refresh snippets"},
        {"Ctrl+S", "Save to config"},
        {"Escape", "Dismiss"},
    };
    return shortcuts;
}

std::vector<QuickReferenceView::Line> QuickReferenceView::lines(const PaintContext& context, double width) {
    const Fonts fonts = fontsFor(context);
    std::vector<Line> out;
    out.push_back(Line{Line::Kind::title, "Korvane Quick Reference", {}, 0, 0, 0, 8});
    out.push_back(Line{Line::Kind::section, "Scope Filters", {}, 0, 0, 0, 0});
    for (const auto& row : ScopeRegistry::builtInHelpProjection().rows) {
        std::string key;
        for (const auto& alias : row.aliases) {
            key += (key.empty() ? "@" : ", @") + alias;
        }
        out.push_back(Line{Line::Kind::row, key, row.description, 0, 0, 0, 0});
    }
    out.push_back(Line{Line::Kind::row, "@<custom>", "Custom provider scope (from config)", 0, 0, 0, 0});
    out.push_back(Line{Line::Kind::section, "Shortcuts", {}, 0, 0, 4, 0});
    for (const auto& shortcut : quickReferenceShortcuts()) {
        out.push_back(Line{Line::Kind::row, shortcut.key, shortcut.description, 0, 0, 0, 0});
    }
    out.push_back(Line{Line::Kind::footer, "↑↓ to scroll • Any other key to close", {}, 0, 0, 8, 0});

    double top = inset;
    for (Line& line : out) {
        double textHeight = 0;
        switch (line.kind) {
        case Line::Kind::title:
            textHeight = QFontMetricsF(fonts.title).height();
            break;
        case Line::Kind::section:
            textHeight = QFontMetricsF(fonts.section).height();
            break;
        case Line::Kind::footer:
            textHeight = QFontMetricsF(fonts.footer).height();
            break;
        case Line::Kind::row:
            textHeight =
                std::max(WrappedText(QString::fromStdString(line.key), fonts.key, keyColumnWidth).height(),
                         WrappedText(QString::fromStdString(line.description), fonts.description,
                                     descriptionWidth(width))
                             .height());
            break;
        }
        line.top = top;
        line.height = line.topInset + std::ceil(textHeight) + line.bottomInset;
        top += line.height + spacing;
    }
    return out;
}

double QuickReferenceView::contentHeight(const std::vector<Line>& lines) {
    return lines.empty() ? 2 * inset : lines.back().top + lines.back().height + inset;
}

QuickReferenceView::QuickReferenceView(std::shared_ptr<PopupViewModel> model,
                                       std::function<PaintContext()> context, QWidget* parent)
    : QWidget(parent)
    , model_(std::move(model))
    , context_(std::move(context)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName("Korvane Quick Reference");
    scroll_.setDuration(150);
    scroll_.setEasingCurve(popupEaseOut());
    QObject::connect(&scroll_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        offset_ = value.toDouble();
        update();
        emit accessibleRowsChanged();
    });
}

std::optional<double> QuickReferenceView::offsetForLine(int number) const {
    const auto all = lines(context_(), width());
    if (number < 0 || number >= static_cast<int>(all.size())) {
        return std::nullopt;
    }
    const double maxOffset = std::max(0.0, contentHeight(all) - height());
    return std::clamp(all[static_cast<std::size_t>(number)].top, 0.0, maxOffset);
}

void QuickReferenceView::sync(bool entered) {
    const int position = model_->helpScrollPosition();
    if (entered) {
        // A fresh reference starts at its top, inset included; it scrolls only when the position moves.
        scroll_.stop();
        offset_ = 0;
    } else if (position != lastPosition_) {
        if (const auto target = offsetForLine(position)) {
            scroll_.stop();
            if (ViewAnimations::enabled() && isVisible()) {
                scroll_.setStartValue(offset_);
                scroll_.setEndValue(*target);
                scroll_.start();
            } else {
                offset_ = *target;
            }
        }
    }
    lastPosition_ = position;
    update();
    emit accessibleRowsChanged();
}

std::vector<AccessibleRow> QuickReferenceView::accessibleRows() const {
    const auto all = lines(context_(), width());
    const QRectF shown(0, 0, width(), height());
    std::vector<AccessibleRow> rows;
    rows.reserve(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Line& line = all[i];
        const QRectF box(inset, line.top - offset_, std::max(0.0, width() - 2 * inset), line.height);
        AccessibleRow row{.id = "help-row-" + std::to_string(i),
                          .name = line.key,
                          .role = QAccessible::StaticText,
                          .rect = box,
                          .inView = box.intersects(shown)};
        switch (line.kind) {
        case Line::Kind::title:
        case Line::Kind::section:
            row.role = QAccessible::Heading;
            break;
        case Line::Kind::row:
            row.name += ": " + line.description;
            row.role = QAccessible::ListItem;
            break;
        case Line::Kind::footer:
            break;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void QuickReferenceView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The line at the top stays there when the popup changes size.
    if (scroll_.state() != QAbstractAnimation::Running && offset_ > 0) {
        offset_ = offsetForLine(lastPosition_).value_or(offset_);
    }
}

void QuickReferenceView::paintEvent(QPaintEvent*) {
    const PaintContext context = context_();
    const Fonts fonts = fontsFor(context);
    const PopupSurfaceStyle& surface = context.surface;
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    clipToPopupOutline(painter, *this);
    const double left = inset;
    const double right = width() - inset;
    for (const Line& line : lines(context, width())) {
        const double top = line.top - offset_ + line.topInset;
        const double textHeight = line.height - line.topInset - line.bottomInset;
        if (top + textHeight < 0 || top > height()) {
            continue;
        }
        const QRectF rect(left, top, right - left, textHeight);
        switch (line.kind) {
        case Line::Kind::title:
            context.drawText(painter, rect,
                             TextRun{QString::fromStdString(line.key), fonts.title, surface.textPrimary},
                             Qt::AlignLeft, "help.title");
            break;
        case Line::Kind::section:
            context.drawText(painter, rect,
                             TextRun{QString::fromStdString(line.key), fonts.section, surface.textSecondary},
                             Qt::AlignLeft, "help.section");
            break;
        case Line::Kind::footer:
            context.drawText(painter, rect,
                             TextRun{QString::fromStdString(line.key), fonts.footer, surface.textTertiary},
                             Qt::AlignRight, "help.footer");
            break;
        case Line::Kind::row: {
            const WrappedText key(QString::fromStdString(line.key), fonts.key, keyColumnWidth);
            const WrappedText description(QString::fromStdString(line.description), fonts.description,
                                          descriptionWidth(width()));
            key.paint(painter, context, QPointF(left, top + (textHeight - key.height()) / 2),
                      surface.textPrimary, "help.key");
            description.paint(
                painter, context,
                QPointF(left + keyColumnWidth + keySpacing, top + (textHeight - description.height()) / 2),
                surface.textSecondary, "help.description");
            break;
        }
        }
    }
}

} // namespace korvane
