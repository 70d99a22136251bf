#pragma once

#include <QImage>
#include <QRect>
#include <QRgb>
#include <string>

// How the keyboard's focus on a control shows in two pictures of the screen, one with the focus on
// the control and one with it elsewhere: the pixels around the control that the focus changed, judged
// by WCAG's contrast ratio. Written apart from Korvane's own colour arithmetic, so that a fault there
// cannot hide here. Test thread.
namespace korvane::test::e2e {

class FocusFrameContrast {
public:
    // WCAG 2's contrast ratio of two opaque colours, from their relative luminance.
    static double ratio(QRgb first, QRgb second);

    struct Reading {
        // The pixels that the focus changed by 3:1 or more; those of them in a band two pixels wide or
        // more (in a square of two by two such pixels: a line one pixel wide, straight, bent or a
        // staircase, has none); and the perimeter and area of the box round them.
        int strong = 0;
        int thick = 0;
        int perimeter = 0;
        int area = 0;
        // The most common colour of those pixels with the focus (the frame's), without it, and of the
        // unchanged pixels beside them; where no pixel changed so much, of those that changed at all.
        QRgb frame = 0;
        QRgb before = 0;
        QRgb beside = 0;

        double againstBefore() const { return ratio(frame, before); }
        double againstBeside() const { return ratio(frame, beside); }
        // A frame two pixels thick or more, not a fill (a text's selection), that stands out at 3:1
        // from what was there and from what lies beside it.
        bool standsOut() const;
        std::string describe() const;
    };

    // What changed within `control` and 4 pixels around it between `focused` and `unfocused`.
    static Reading read(const QImage& focused, const QImage& unfocused, const QRect& control);
};

} // namespace korvane::test::e2e
