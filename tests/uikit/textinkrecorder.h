#pragma once

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QString>
#include <vector>

class QWidget;

namespace korvane::test {

// Records every text a window's widgets draw, each with the colour and opacity it is drawn in and
// where it lies: what a picture alone cannot tell apart, since the strokes of a glyph are blended
// with what lies behind them. Main thread.
class TextInkRecorder {
public:
    struct Ink {
        QPointer<QWidget> widget;
        QString text;
        // The pen, its alpha multiplied by the painter's opacity and every opacity effect above.
        QColor color;
        // Where the text lies in the window, clipped to what of its widget is on screen.
        QRect box;
    };

    // The texts that `window` and its visible descendants draw, each widget painted alone.
    static std::vector<Ink> record(QWidget& window);
};

} // namespace korvane::test
