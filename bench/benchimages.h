#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <optional>
#include <random>

namespace korvane::bench {

// A 4200 × 3000 picture of noise: it compresses badly, as photographs of that size do, so its JPEG
// near the preview's 10 MiB is a photograph's.
inline QImage noisePhotograph() {
    QImage image(4200, 3000, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qRgb(static_cast<int>(random() % 256), (x + y) % 256, static_cast<int>(random() % 64));
        }
    }
    return image;
}

struct Jpeg {
    int quality = 0;
    QByteArray bytes;
};

// `image` as a JPEG of the highest quality, from 95 down in steps of 5, within `maxBytes`; none when
// even quality 15 is larger.
inline std::optional<Jpeg> largestJpegWithin(const QImage& image, qsizetype maxBytes) {
    for (int quality = 95; quality > 10; quality -= 5) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", quality);
        if (bytes.size() <= maxBytes) {
            return Jpeg{quality, std::move(bytes)};
        }
    }
    return std::nullopt;
}

} // namespace korvane::bench
