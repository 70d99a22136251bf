#include "uikit/kitstyle.h"

#include "uikit/focusframe.h"

#include <QApplication>
#include <QFocusFrame>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>

namespace korvane {
namespace {

// What the style shows as focused: the widget has the keyboard, and its window shows where it is.
bool showsFocus(const QStyleOption& option) {
    return (option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_KeyboardFocusChange);
}

// A raised push button's focus is drawn with its panel, on its face; the style's own frame around its
// label would be a second one.
bool framedWithPanel(const QWidget* widget) {
    const auto* push = qobject_cast<const QPushButton*>(widget);
    return push != nullptr && !push->isFlat();
}

bool isTextArea(const QWidget* widget) {
    return widget != nullptr && (widget->inherits("QTextEdit") || widget->inherits("QPlainTextEdit"));
}

// A list row's frame goes round the whole row, on the row's own fill: its highlight when selected, else
// the list's field colour.
void paintAroundRow(const QStyleOptionViewItem& row, QPainter& painter) {
    const QPalette& palette = row.palette;
    const QColor color =
        row.state & QStyle::State_Selected
            ? FocusFrame::colorOnAccent(palette)
            : FocusFrame::colorOn(palette.color(QPalette::Highlight), palette.color(QPalette::Base),
                                  palette.color(QPalette::Text));
    FocusFrame::paint(painter, QRectF(row.rect), color, 3);
}

} // namespace

void KitStyle::install() {
    if (qobject_cast<KitStyle*>(QApplication::style()) != nullptr) {
        return;
    }
    auto* style = new KitStyle(QApplication::style()->name());
    QApplication::setStyle(style);
    QObject::connect(qApp, &QApplication::focusChanged, style,
                     [style](QWidget* old, QWidget* now) { style->follow(old, now); });
}

KitStyle::KitStyle(const QString& base)
    : QProxyStyle(base) {}

void KitStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    switch (element) {
    case PE_FrameFocusRect:
        if (widget != nullptr && showsFocus(*option) && !framedWithPanel(widget)) {
            FocusFrame::paint(*painter, QRectF(option->rect), FocusFrame::color(*widget), 3);
        }
        return;
    case PE_PanelButtonCommand:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (showsFocus(*option)) {
            FocusFrame::paintOnFace(*painter, QRectF(option->rect), option->palette);
        }
        return;
    case PE_FrameLineEdit:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        if (showsFocus(*option)) {
            // Inside the field's own edge, on its text background.
            const QPalette& palette = option->palette;
            FocusFrame::paint(*painter, QRectF(option->rect).adjusted(1, 1, -1, -1),
                              FocusFrame::colorOn(palette.color(QPalette::Highlight),
                                                  palette.color(QPalette::Base),
                                                  palette.color(QPalette::Text)),
                              2);
        }
        return;
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

void KitStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                           const QWidget* widget) const {
    const auto* row = qstyleoption_cast<const QStyleOptionViewItem*>(option);
    if (element == CE_ItemViewItem && row != nullptr) {
        // Drawn without the style's frame around the row's text (which it shows whether a key brought
        // the focus or not), then framed whole.
        QStyleOptionViewItem plain(*row);
        plain.state &= ~State_HasFocus;
        QProxyStyle::drawControl(element, &plain, painter, widget);
        if (showsFocus(*row)) {
            paintAroundRow(*row, *painter);
        }
        return;
    }
    if (element == CE_FocusFrame) {
        const auto* frame = qobject_cast<const QFocusFrame*>(widget);
        if (frame != nullptr && frame->widget() != nullptr && FocusFrame::shown(*frame->widget())) {
            FocusFrame::paint(*painter, QRectF(option->rect), FocusFrame::color(*frame->widget()), 4);
        }
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void KitStyle::follow(QWidget* old, QWidget* focused) {
    // The focus a window opens (or comes back) with shows as one a key brought: the user has to find it
    // before pressing a key. Qt shows it only after a key has moved it.
    QWidget* window = focused != nullptr ? focused->window() : nullptr;
    if (window != nullptr && (old == nullptr || old->window() != window) &&
        !window->testAttribute(Qt::WA_KeyboardFocusChange)) {
        window->setAttribute(Qt::WA_KeyboardFocusChange);
        focused->update();
    }
    if (!isTextArea(focused)) {
        if (areaFrame_) {
            areaFrame_->setWidget(nullptr);
        }
        return;
    }
    if (!areaFrame_) {
        areaFrame_ = new QFocusFrame(focused);
    }
    areaFrame_->setWidget(focused);
}

} // namespace korvane
