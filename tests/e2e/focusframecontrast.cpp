#include "focusframecontrast.h"

#include <QColor>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace korvane::test::e2e {
namespace {

constexpr double required = 3.0;
// A frame two pixels thick round a box covers its perimeter about twice in pixels of the band; round
// a small round button, whose curves are smoothed into pixels of half strength, about half as much. A
// line one pixel thick leaves no pixel of a band.
constexpr double thickness = 0.5;
// A frame leaves most of the box it surrounds as it was.
constexpr double mostFilled = 0.6;
constexpr int margin = 4;

double linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(QRgb color) {
    return 0.2126 * linear(qRed(color)) + 0.7152 * linear(qGreen(color)) + 0.0722 * linear(qBlue(color));
}

QRgb mostCommon(const QHash<QRgb, int>& counts) {
    QRgb best = 0;
    int most = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return best;
}

} // namespace

double FocusFrameContrast::ratio(QRgb first, QRgb second) {
    const double a = luminance(first);
    const double b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

bool FocusFrameContrast::Reading::standsOut() const {
    return strong > 0 && thick >= thickness * perimeter && strong <= mostFilled * area &&
           againstBefore() >= required && againstBeside() >= required;
}

std::string FocusFrameContrast::Reading::describe() const {
    char text[200];
    std::snprintf(
        text, sizeof text,
        "frame %s on %s %.2f:1, beside %s %.2f:1, %d pixels at 3:1 (%d in a band) round a perimeter of %d",
        QColor(frame).name().toStdString().c_str(), QColor(before).name().toStdString().c_str(),
        againstBefore(), QColor(beside).name().toStdString().c_str(), againstBeside(), strong, thick,
        perimeter);
    return text;
}

FocusFrameContrast::Reading FocusFrameContrast::read(const QImage& focused, const QImage& unfocused,
                                                     const QRect& control) {
    const QImage with = focused.convertToFormat(QImage::Format_RGB32);
    const QImage without = unfocused.convertToFormat(QImage::Format_RGB32);
    const QRect area = control.adjusted(-margin, -margin, margin, margin) & with.rect() & without.rect();
    Reading reading;
    if (area.isEmpty()) {
        return reading;
    }
    const auto at = [&](const QImage& image, QPoint point) { return image.pixel(point) & RGB_MASK; };
    const auto isStrong = [&](QPoint point) {
        const QRgb a = at(with, point);
        const QRgb b = at(without, point);
        return a != b && ratio(a, b) >= required;
    };
    QHash<QRgb, int> frames, befores, besides, changedTo, changedFrom;
    QRect box;
    std::vector<QPoint> strong;
    std::vector<char> isStrongAt(static_cast<std::size_t>(area.width() * area.height()), 0);
    const auto index = [&](QPoint point) {
        return static_cast<std::size_t>((point.y() - area.top()) * area.width() + point.x() - area.left());
    };
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QPoint point(x, y);
            if (at(with, point) != at(without, point)) {
                ++changedTo[at(with, point)];
                ++changedFrom[at(without, point)];
            }
            if (isStrong(point)) {
                strong.push_back(point);
                isStrongAt[index(point)] = 1;
                ++frames[at(with, point)];
                ++befores[at(without, point)];
                box |= QRect(point, QSize(1, 1));
            }
        }
    }
    const auto strongAt = [&](QPoint point) { return area.contains(point) && isStrongAt[index(point)] != 0; };
    std::vector<char> inBand(isStrongAt.size(), 0);
    for (const QPoint& point : strong) {
        const QPoint square[] = {point, point + QPoint(1, 0), point + QPoint(0, 1), point + QPoint(1, 1)};
        if (std::all_of(std::begin(square), std::end(square), strongAt)) {
            for (const QPoint& corner : square) {
                inBand[index(corner)] = 1;
            }
        }
        for (const QPoint step : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
            const QPoint next = point + step;
            if (area.contains(next) && at(with, next) == at(without, next)) {
                ++besides[at(with, next)];
            }
        }
    }
    reading.thick = static_cast<int>(std::count(inBand.begin(), inBand.end(), 1));
    reading.strong = static_cast<int>(strong.size());
    reading.perimeter = box.isEmpty() ? 0 : 2 * (box.width() + box.height());
    reading.area = box.width() * box.height();
    reading.frame = mostCommon(strong.empty() ? changedTo : frames);
    reading.before = mostCommon(strong.empty() ? changedFrom : befores);
    reading.beside = mostCommon(besides);
    return reading;
}

} // namespace korvane::test::e2e
