#include "popup/views/paintcontext.h"

#include "popup/popuptheme.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainterPath>
#include <QStaticText>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <optional>

namespace korvane {
namespace {

const QString ellipsis = QStringLiteral("\u2026");

// Shaping text is most of the work of painting a frame, and the rows paint the same labels in the same
// fonts frame after frame: each text's width and its prepared glyphs are kept per font. Main thread.
class ShapedTextCache {
public:
    struct Entry {
        double advance = 0;
        std::optional<QStaticText> prepared;
    };

    Entry& entry(const QFont& font, const QString& text) {
        QString key = font.key();
        key += QChar(0x1f);
        key += text;
        auto found = entries_.find(key);
        if (found == entries_.end()) {
            if (entries_.size() >= capacity) {
                entries_.clear();
            }
            found = entries_.insert(key, Entry{QFontMetricsF(font).horizontalAdvance(text), std::nullopt});
        }
        return *found;
    }

    const QStaticText& prepared(const QFont& font, const QString& text) {
        Entry& shaped = entry(font, text);
        if (!shaped.prepared) {
            QStaticText prepared(text);
            prepared.setTextFormat(Qt::PlainText);
            prepared.setPerformanceHint(QStaticText::AggressiveCaching);
            prepared.prepare(QTransform(), font);
            shaped.prepared = std::move(prepared);
        }
        return *shaped.prepared;
    }

private:
    // A few screens of rows; past it the cache starts again rather than grow with every query.
    static constexpr qsizetype capacity = 4096;
    QHash<QString, Entry> entries_;
};

ShapedTextCache& shapedText() {
    static ShapedTextCache cache;
    return cache;
}

double runWidth(const TextRun& run) {
    return shapedText().entry(run.font, run.text).advance;
}

// The longest start of `text` made of whole characters that fits into `room` in `font`.
QString fittingPrefix(const QString& text, const QFont& font, double room) {
    const QFontMetricsF metrics(font);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype fitting = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        if (metrics.horizontalAdvance(text.left(end)) > room) {
            break;
        }
        fitting = end;
    }
    return text.left(fitting);
}

} // namespace

double PaintContext::fontSize() const {
    return PopupTheme::drawingFontSize(theme.fontSize);
}

QColor PaintContext::qcolor(Color color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue),
                            static_cast<float>(std::clamp(color.opacity, 0.0, 1.0)));
}

void PaintContext::clipTo(QPainter& painter, const QRectF& area) {
    painter.setClipRect(area, Qt::IntersectClip);
}

void PaintContext::clipTo(QPainter& painter, const QPainterPath& area) {
    painter.setClipPath(area, Qt::IntersectClip);
}

double PaintContext::width(const std::vector<TextRun>& runs) {
    double total = 0;
    for (const auto& run : runs) {
        total += runWidth(run);
    }
    return total;
}

double PaintContext::drawLine(QPainter& painter, const QRectF& rect, const std::vector<TextRun>& runs,
                              Qt::Alignment alignment, const char* role) const {
    std::vector<TextRun> shown = runs;
    if (width(runs) > rect.width() + 0.01) {
        shown.clear();
        double used = 0;
        for (const auto& run : runs) {
            const double ellipsisWidth = QFontMetricsF(run.font).horizontalAdvance(ellipsis);
            const double w = runWidth(run);
            if (used + w + ellipsisWidth <= rect.width()) {
                shown.push_back(run);
                used += w;
                continue;
            }
            TextRun cut = run;
            cut.text = fittingPrefix(run.text, run.font, std::max(0.0, rect.width() - used - ellipsisWidth)) +
                       ellipsis;
            shown.push_back(cut);
            break;
        }
    }
    const double total = width(shown);
    double x = rect.left();
    if (alignment & Qt::AlignRight) {
        x = rect.right() - total;
    } else if (alignment & Qt::AlignHCenter) {
        x = rect.center().x() - total / 2;
    }
    for (const auto& run : shown) {
        const QFontMetricsF metrics(run.font);
        const double w = runWidth(run);
        const double baseline = rect.center().y() + (metrics.ascent() - metrics.descent()) / 2;
        painter.setFont(run.font);
        painter.setPen(qcolor(run.color));
        painter.drawStaticText(QPointF(x, baseline - metrics.ascent()),
                               shapedText().prepared(run.font, run.text));
        if (log != nullptr) {
            log->record(PaintedText{run.text.toStdString(),
                                    QRectF(x, baseline - metrics.ascent(), w, metrics.height()),
                                    run.font.pixelSize(), run.font.weight(), run.color,
                                    run.font.families().value(0).toStdString(), role});
        }
        x += w;
    }
    return total;
}

double PaintContext::drawWrapped(QPainter& painter, const QRectF& rect, const TextRun& run,
                                 const char* role) const {
    QTextLayout layout(run.text, run.font);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    double height = 0;
    std::vector<QTextLine> lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(rect.width());
        line.setPosition(QPointF(0, height));
        height += line.height();
        lines.push_back(line);
    }
    layout.endLayout();
    const double top = rect.top() + std::max(0.0, (rect.height() - height) / 2);
    for (const auto& line : lines) {
        const QString text = run.text.mid(line.textStart(), line.textLength()).trimmed();
        drawText(painter, QRectF(rect.left(), top + line.y(), rect.width(), line.height()),
                 TextRun{text, run.font, run.color}, Qt::AlignHCenter, role);
    }
    return height;
}

} // namespace korvane
