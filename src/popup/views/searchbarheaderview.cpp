#include "popup/views/searchbarheaderview.h"

#include "popup/badgecolors.h"
#include "popup/namedcolors.h"
#include "popup/popupviewmodel.h"
#include "popup/views/painticons.h"
#include "popup/views/surfacepainter.h"
#include "registry/parsedquery.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainterPath>
#include <variant>

namespace korvane {

std::string SearchBarHeaderView::chipLabel(const QueryChip& chip) {
    return std::visit(
        [](const auto& value) -> std::string {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, QueryChip::App>) {
                return "@app";
            } else if constexpr (std::is_same_v<T, QueryChip::Url>) {
                return "@url";
            } else if constexpr (std::is_same_v<T, QueryChip::ScopePending>) {
                return "@...";
            } else {
                return "@" + value.token;
            }
        },
        chip.value());
}

Color SearchBarHeaderView::chipColor(const QueryChip& chip) {
    return std::visit(
        [](const auto& value) -> Color {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, QueryChip::App>) {
                return namedColor(NamedColor::orange);
            } else if constexpr (std::is_same_v<T, QueryChip::Url>) {
                return namedColor(NamedColor::blue);
            } else if constexpr (std::is_same_v<T, QueryChip::ScopePending>) {
                return namedColor(NamedColor::secondary);
            } else {
                return badgeBaseColor(value.source);
            }
        },
        chip.value());
}

std::string SearchBarHeaderView::shownQuery() const {
    if (!inputs_.displayChip || inputs_.scopeRegistry == nullptr) {
        return inputs_.query;
    }
    return ParsedQuery::parse(inputs_.query, *inputs_.scopeRegistry).query;
}

std::string SearchBarHeaderView::accessibleText() const {
    std::string said;
    if (inputs_.displayChip) {
        said = chipLabel(*inputs_.displayChip);
        if (inputs_.scopeDisabled) {
            said += std::string(" ") + disabledText;
        }
    }
    const std::string query = shownQuery();
    if (!query.empty()) {
        said += (said.empty() ? "" : " ") + query;
    }
    // The spinner stands where the count goes until the search is done.
    return said + (said.empty() ? "" : ", ") +
           (inputs_.isLoading ? std::string("Loading...")
                              : PopupViewModel::resultCountText(inputs_.resultCount));
}

void SearchBarHeaderView::paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
                                double caretOpacity, double spinnerPhase) const {
    const double f = context.fontSize();
    const QRectF row(rect.left(), rect.top(), rect.width(), rowHeight);
    const auto& surface = context.surface;
    double x = row.left() + 10;

    const double symbol = std::max(1.0, f - 1);
    PaintIcons::magnifier(painter, QRectF(x, row.top(), symbol, row.height()), symbol,
                          PaintContext::qcolor(surface.textTertiary));
    if (context.log != nullptr) {
        context.log->record(
            PaintedText{"magnifyingglass", QRectF(x, row.center().y() - symbol / 2, symbol, symbol),
                        static_cast<int>(symbol), QFont::Medium, surface.textTertiary, "", "header.symbol"});
    }
    x += symbol + 6;

    // The right end first, so that the query knows its room.
    double right = row.right() - 10;
    if (inputs_.isLoading) {
        PaintIcons::spinner(painter, QRectF(right - 12, row.center().y() - 6, 12, 12), 12,
                            PaintContext::qcolor(surface.textTertiary), spinnerPhase);
        if (context.log != nullptr) {
            context.log->record(PaintedText{"spinner", QRectF(right - 12, row.center().y() - 6, 12, 12), 12,
                                            0, surface.textTertiary, "", "header.spinner"});
        }
        right -= 12;
    } else {
        const TextRun count{QLocale().toString(static_cast<qlonglong>(inputs_.resultCount)),
                            context.font(FontRoles::Design::monospaced, f - 2, QFont::Medium),
                            surface.textTertiary};
        const double w = PaintContext::width({count});
        context.drawText(painter, QRectF(right - w, row.top(), w, row.height()), count, Qt::AlignLeft,
                         "header.count");
        right -= w;
    }

    const QFont mono = context.font(FontRoles::Design::monospaced, f, QFont::Normal);
    x += context.drawText(painter, QRectF(x, row.top(), std::max(0.0, right - x), row.height()),
                          TextRun{QString::fromStdString(inputs_.triggerText), mono, surface.textTertiary},
                          Qt::AlignLeft, "header.trigger");

    if (inputs_.displayChip) {
        const Color c = inputs_.scopeDisabled ? withOpacity(namedColor(NamedColor::red), 0.8)
                                              : chipColor(*inputs_.displayChip);
        const TextRun chip{QString::fromStdString(chipLabel(*inputs_.displayChip)),
                           context.font(FontRoles::Design::monospaced, f - 1, QFont::Medium), c};
        const double w = PaintContext::width({chip});
        const double h = QFontMetricsF(chip.font).height() + 2;
        const QRectF plate(x, row.center().y() - h / 2, w + 8, h);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(plate, 3, 3);
        painter.fillPath(shape, PaintContext::qcolor(withOpacity(c, 0.12)));
        painter.restore();
        context.drawText(painter, plate.adjusted(4, 1, -4, -1), chip, Qt::AlignLeft, "header.chip");
        x = plate.right() + 2;
        if (inputs_.scopeDisabled) {
            x += context.drawText(painter, QRectF(x, row.top(), std::max(0.0, right - x), row.height()),
                                  TextRun{disabledText,
                                          context.font(FontRoles::Design::standard, f - 2, QFont::Medium),
                                          withOpacity(namedColor(NamedColor::red), 0.7)},
                                  Qt::AlignLeft, "header.disabled") +
                 2;
        }
    }

    const TextRun caret{"|", context.font(FontRoles::Design::monospaced, f, QFont::Light),
                        withOpacity(surface.textSecondary, caretOpacity)};
    const double caretWidth = PaintContext::width({caret});
    const double queryRoom = std::max(0.0, right - x - caretWidth);
    x += context.drawText(painter, QRectF(x, row.top(), queryRoom, row.height()),
                          TextRun{QString::fromStdString(shownQuery()), mono, surface.textPrimary},
                          Qt::AlignLeft, "header.query");
    if (caretOpacity > 0) {
        context.drawText(painter, QRectF(x, row.top(), caretWidth, row.height()), caret, Qt::AlignLeft,
                         "header.caret");
    }
    SurfacePainter::horizontalDivider(painter, QRectF(rect.left(), row.bottom(), rect.width(), 1), surface);
}

} // namespace korvane
