#pragma once

#include "config/manualsnippet.h"

#include <QAbstractButton>

namespace korvane {

// The clickable line of a collapsed snippet row: the kind symbol (a link or text), the key on a chip,
// the label when there is one and, after a gap, a one-line preview of the expansion or link. Assistive
// technology hears what it shows (its pencil says what it does). With keyboard focus it draws a focus
// frame around its content, and Return presses it as Space does. Main thread.
class SnippetLineButton final : public QAbstractButton {
    Q_OBJECT

public:
    // The room around the content, where the focus frame is drawn.
    static constexpr int focusMargin = 2;

    explicit SnippetLineButton(ManualSnippet snippet, QWidget* parent = nullptr);

    // Shows another snippet (a list reuses its rows while it scrolls).
    void setSnippet(ManualSnippet snippet);

    // "arrow.up.forward.square" for a snippet with a non-empty link, else "text.alignleft".
    static const char* kindSymbol(const ManualSnippet& snippet);
    // The expansion whenever there is one (even empty), else the link, else nothing.
    static QString previewText(const ManualSnippet& snippet);
    // "<key> (<label>): <preview>" on one line, without the label or the preview where there is none.
    static QString accessibleNameFor(const ManualSnippet& snippet);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void paintContent(QPainter& painter, const QRect& area);
    QFont keyFont() const;
    QFont labelFont() const;
    QFont previewFont() const;

    ManualSnippet snippet_;
};

} // namespace korvane
