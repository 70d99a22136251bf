#include "settings/views/snippetlinebutton.h"

#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

namespace korvane {
namespace {

constexpr int spacing = 8;
constexpr int symbolFrame = 16;
constexpr int chipPaddingX = 6;
constexpr int chipPaddingY = 2;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

SnippetLineButton::SnippetLineButton(ManualSnippet snippet, QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("snippetLine"));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setSnippet(std::move(snippet));
}

void SnippetLineButton::setSnippet(ManualSnippet snippet) {
    snippet_ = std::move(snippet);
    setAccessibleName(QStringLiteral("Edit snippet ") + qs(snippet_.key));
    update();
}

const char* SnippetLineButton::kindSymbol(const ManualSnippet& snippet) {
    return snippet.url && !snippet.url->empty() ? "arrow.up.forward.square" : "text.alignleft";
}

QString SnippetLineButton::previewText(const ManualSnippet& snippet) {
    if (snippet.expand) {
        return qs(*snippet.expand);
    }
    return snippet.url ? qs(*snippet.url) : QString();
}

QFont SnippetLineButton::keyFont() const {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(9);
    return f;
}

QFont SnippetLineButton::labelFont() const {
    QFont f = font();
    f.setPointSizeF(10.5);
    return f;
}

QFont SnippetLineButton::previewFont() const {
    QFont f = font();
    f.setPointSizeF(9);
    return f;
}

QSize SnippetLineButton::sizeHint() const {
    const int chip = QFontMetrics(keyFont()).height() + 2 * chipPaddingY;
    const int height = std::max({chip, QFontMetrics(labelFont()).height(), symbolFrame});
    return {200, height};
}

void SnippetLineButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int h = height();
    int x = 0;
    SymbolIcon::paint(painter, kindSymbol(snippet_), QRectF(x + 1, (h - 14) / 2.0, 14, 14),
                      KitColors::secondaryText(*this));
    x += symbolFrame + spacing;

    // A key on a chip, however long, keeps room for the label and preview.
    const QFontMetrics keyMetrics(keyFont());
    const QString key = keyMetrics.elidedText(qs(snippet_.key), Qt::ElideRight, std::max(40, width() / 3));
    const int chipWidth = keyMetrics.horizontalAdvance(key) + 2 * chipPaddingX;
    const int chipHeight = keyMetrics.height() + 2 * chipPaddingY;
    const QRectF chip(x, (h - chipHeight) / 2.0, chipWidth, chipHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(KitColors::quaternaryFill(*this));
    painter.drawRoundedRect(chip, 4, 4);
    painter.setPen(KitColors::primaryText(*this));
    painter.setFont(keyFont());
    painter.drawText(chip, Qt::AlignCenter, key);
    x += chipWidth + spacing;

    if (snippet_.label && !snippet_.label->empty()) {
        const QFontMetrics metrics(labelFont());
        const QString label =
            metrics.elidedText(qs(*snippet_.label), Qt::ElideRight, std::max(0, (width() - x) / 2));
        painter.setFont(labelFont());
        painter.drawText(QRect(x, 0, width() - x, h), Qt::AlignLeft | Qt::AlignVCenter, label);
        x += metrics.horizontalAdvance(label) + spacing;
    }

    // The preview takes what is left, ending at the right edge, on one line.
    QString preview = previewText(snippet_);
    preview.replace('\n', ' ');
    const QFontMetrics previewMetrics(previewFont());
    const int room = std::max(0, width() - x);
    preview = previewMetrics.elidedText(preview, Qt::ElideRight, room);
    painter.setFont(previewFont());
    painter.setPen(KitColors::tertiaryText(*this));
    painter.drawText(QRect(x, 0, room, h), Qt::AlignRight | Qt::AlignVCenter, preview);
}

} // namespace korvane
