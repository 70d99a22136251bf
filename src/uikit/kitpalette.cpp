#include "uikit/kitpalette.h"

#include "uikit/kitcolors.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace korvane {
namespace {

constexpr double placeholderOpacity = 0.5;

void applyLegiblePlaceholders(QWidget& window) {
    const QPalette legible = KitPalette::withLegiblePlaceholders(QApplication::palette(&window));
    // A palette that sets nothing but the placeholders: every other colour stays the desktop's, and
    // follows it when it changes.
    QPalette own;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        own.setColor(group, QPalette::PlaceholderText, legible.color(group, QPalette::PlaceholderText));
    }
    window.setPalette(own);
}

// Redoes the placeholders of the window it watches when the desktop's palette changes.
class PlaceholderKeeper final : public QObject {
public:
    explicit PlaceholderKeeper(QWidget& window)
        : QObject(&window)
        , window_(window) {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::ApplicationPaletteChange) {
            applyLegiblePlaceholders(window_);
        }
        return false;
    }

private:
    QWidget& window_;
};

} // namespace

QPalette KitPalette::withLegiblePlaceholders(const QPalette& desktop) {
    QPalette palette = desktop;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor field = desktop.color(group, QPalette::Base);
        const QColor own = desktop.color(group, QPalette::PlaceholderText);
        const QColor placeholder =
            KitColors::legible(own, field) == own
                ? own
                : KitColors::legible(
                      KitColors::withAlpha(desktop.color(group, QPalette::Text), placeholderOpacity), field);
        palette.setColor(group, QPalette::PlaceholderText, placeholder);
    }
    return palette;
}

void KitPalette::keepLegible(QWidget& window) {
    applyLegiblePlaceholders(window);
    new PlaceholderKeeper(window);
}

} // namespace korvane
