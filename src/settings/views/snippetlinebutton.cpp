#include "settings/views/snippetlinebutton.h"

#include "base/visibletext.h"
#include "uikit/focusframe.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>

namespace korvane {
namespace {

constexpr int spacing = 8;
constexpr int symbolFrame = 16;
constexpr int chipPaddingX = 6;
constexpr int chipPaddingY = 2;
// How much of each text the line's name takes.
constexpr std::size_t nameKeyWidth = 60;
constexpr std::size_t nameLabelWidth = 60;
constexpr std::size_t namePreviewWidth = 120;

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
    setAccessibleName(accessibleNameFor(snippet_));
    update();
}

QString SnippetLineButton::accessibleNameFor(const ManualSnippet& snippet) {
    // What the line shows, as one line: the key, the label and the preview. The text may come from
    // a project, so nothing in it may pass for something else.
    QString name = qs(VisibleText::line(snippet.key, nameKeyWidth));
    if (snippet.label && !snippet.label->empty()) {
        name += QStringLiteral(" (") + qs(VisibleText::line(*snippet.label, nameLabelWidth)) +
                QStringLiteral(")");
    }
    QString preview = previewText(snippet);
    preview.replace('\n', ' ');
    if (!preview.isEmpty()) {
        name += QStringLiteral(": ") + qs(VisibleText::line(preview.toStdString(), namePreviewWidth));
    }
    return name;
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
    return {200, height + 2 * focusMargin};
}

void SnippetLineButton::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void SnippetLineButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintContent(painter, rect().adjusted(focusMargin, focusMargin, -focusMargin, -focusMargin));
    if (FocusFrame::shown(*this)) {
        FocusFrame::paint(painter, QRectF(rect()), FocusFrame::color(*this), 4);
    }
}

void SnippetLineButton::paintContent(QPainter& painter, const QRect& area) {
    painter.save();
    painter.translate(area.topLeft());
    const int h = area.height();
    const int w = area.width();
    int x = 0;
    SymbolIcon::paint(painter, kindSymbol(snippet_), QRectF(x + 1, (h - 14) / 2.0, 14, 14),
                      KitColors::secondaryText(*this));
    x += symbolFrame + spacing;

    // A key on a chip, however long, keeps room for the label and preview.
    const QFontMetrics keyMetrics(keyFont());
    const QString key = keyMetrics.elidedText(qs(snippet_.key), Qt::ElideRight, std::max(40, w / 3));
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
            metrics.elidedText(qs(*snippet_.label), Qt::ElideRight, std::max(0, (w - x) / 2));
        painter.setFont(labelFont());
        painter.drawText(QRect(x, 0, w - x, h), Qt::AlignLeft | Qt::AlignVCenter, label);
        x += metrics.horizontalAdvance(label) + spacing;
    }

    // The preview takes what is left, ending at the right edge, on one line.
    QString preview = previewText(snippet_);
    preview.replace('\n', ' ');
    const QFontMetrics previewMetrics(previewFont());
    const int room = std::max(0, w - x);
    preview = previewMetrics.elidedText(preview, Qt::ElideRight, room);
    painter.setFont(previewFont());
    painter.setPen(KitColors::tertiaryText(*this));
    painter.drawText(QRect(x, 0, room, h), Qt::AlignRight | Qt::AlignVCenter, preview);
    painter.restore();
}

} // namespace korvane
