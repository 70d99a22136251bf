#include "platform/qt/boundedimagereader.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <vector>

namespace korvane {
namespace {

constexpr std::size_t bytesPerPixel = 4;

std::size_t area(QSize size) {
    return static_cast<std::size_t>(std::max(0, size.width())) *
           static_cast<std::size_t>(std::max(0, size.height()));
}

unsigned byteAt(const QByteArray& bytes, qsizetype at) {
    return static_cast<unsigned char>(bytes.at(at));
}

unsigned bigEndian16(const QByteArray& bytes, qsizetype at) {
    return (byteAt(bytes, at) << 8) | byteAt(bytes, at + 1);
}

// What the frame header of a JPEG tells about its decoding: whether it is progressive, and each
// component's sampling factors.
struct JpegFrame {
    bool progressive = false;
    std::vector<std::pair<unsigned, unsigned>> sampling;
};

// The first frame header (SOFn) before the scan data; none when the markers end or break first.
std::optional<JpegFrame> jpegFrame(const QByteArray& bytes) {
    qsizetype at = 2;
    while (at + 4 <= bytes.size()) {
        if (byteAt(bytes, at) != 0xff) {
            return std::nullopt;
        }
        const unsigned marker = byteAt(bytes, at + 1);
        if (marker == 0xff) {
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {
            at += 2;
            continue;
        }
        if (marker == 0xda || marker == 0xd9) {
            return std::nullopt;
        }
        const qsizetype length = bigEndian16(bytes, at + 2);
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            const qsizetype components = at + 9 < bytes.size() ? byteAt(bytes, at + 9) : 0;
            if (components == 0 || at + 10 + components * 3 > bytes.size()) {
                return std::nullopt;
            }
            JpegFrame found;
            found.progressive = marker == 0xc2 || marker == 0xc6 || marker == 0xca || marker == 0xce;
            for (qsizetype c = 0; c < components; ++c) {
                const unsigned factors = byteAt(bytes, at + 11 + c * 3);
                found.sampling.emplace_back(std::max(1u, factors >> 4), std::max(1u, factors & 0x0fu));
            }
            return found;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

// libjpeg scales by M/8 while decoding; the reader picks the smallest M whose result is not smaller
// than the target.
QSize jpegDecodedSize(QSize declared, QSize target) {
    if (target.isEmpty() || target.width() >= declared.width() || target.height() >= declared.height()) {
        return declared;
    }
    const double factor = std::min(static_cast<double>(declared.width()) / target.width(),
                                   static_cast<double>(declared.height()) / target.height());
    const int eighths = std::clamp(static_cast<int>(std::ceil(8.0 / factor)), 1, 8);
    return {(declared.width() * eighths + 7) / 8, (declared.height() * eighths + 7) / 8};
}

std::size_t jpegDecodeBytes(const QByteArray& bytes, QSize declared, QSize target) {
    const std::optional<JpegFrame> frame = jpegFrame(bytes);
    if (!frame) {
        return area(declared) * bytesPerPixel;
    }
    std::size_t held = area(jpegDecodedSize(declared, target)) * bytesPerPixel;
    if (frame->progressive) {
        // Every coefficient of the full image (64 of 2 bytes per 8 × 8 block of each component) is
        // kept until the last scan, whatever the output scale.
        unsigned maxH = 1;
        unsigned maxV = 1;
        for (const auto& [h, v] : frame->sampling) {
            maxH = std::max(maxH, h);
            maxV = std::max(maxV, v);
        }
        for (const auto& [h, v] : frame->sampling) {
            const std::size_t columns = (static_cast<std::size_t>(declared.width()) * h / maxH + 7) / 8;
            const std::size_t rows = (static_cast<std::size_t>(declared.height()) * v / maxV + 7) / 8;
            held += columns * rows * 128;
        }
    }
    return held;
}

std::size_t pngDecodeBytes(const QByteArray& bytes, QSize declared, QSize target) {
    if (bytes.size() < 29) {
        return area(declared) * 8;
    }
    const unsigned depth = byteAt(bytes, 24);
    const unsigned colourType = byteAt(bytes, 25);
    const bool interlaced = byteAt(bytes, 28) != 0;
    const bool scaled =
        target.width() <= declared.width() && target.height() <= declared.height() && target != declared;
    // 8-bit colour, with or without alpha, is scaled row by row as it is read.
    if (depth == 8 && (colourType == 2 || colourType == 4 || colourType == 6) && !interlaced && scaled) {
        return static_cast<std::size_t>(declared.width()) * 24;
    }
    // Anything else is read whole; grey and palette images become 32-bit to be scaled smoothly.
    const std::size_t perPixel = depth == 16 ? 8 : (colourType == 0 || colourType == 3 ? 5 : 4);
    return area(declared) * perPixel;
}

// The size within `maxSide` on the longer side, proportions kept; the declared size when it fits.
QSize fitted(QSize declared, int maxSide) {
    const int longest = std::max(declared.width(), declared.height());
    if (maxSide <= 0 || longest <= maxSide) {
        return declared;
    }
    const double scale = static_cast<double>(maxSide) / longest;
    return {std::max(1, static_cast<int>(std::lround(declared.width() * scale))),
            std::max(1, static_cast<int>(std::lround(declared.height() * scale)))};
}

} // namespace

std::size_t BoundedImageReader::decodeBytes(const QByteArray& bytes, const QByteArray& format, QSize declared,
                                            QSize target) {
    const std::size_t result = area(target) * bytesPerPixel;
    if (format == "jpeg" || format == "jpg") {
        return result + jpegDecodeBytes(bytes, declared, target);
    }
    if (format == "png") {
        return result + pngDecodeBytes(bytes, declared, target);
    }
    if (format == "svg" || format == "svgz") {
        return result;
    }
    // Decoded whole, then scaled; an animation keeps a second frame to compose the next one on.
    return result + area(declared) * bytesPerPixel * 2;
}

std::optional<QImage> BoundedImageReader::read(const QByteArray& bytes, const Limits& limits) {
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QImageReader reader(&buffer);
    // The content decides the format, whatever the file is named: a vector image named .png stays
    // unrendered unless vectors are accepted.
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (std::find(limits.formats.begin(), limits.formats.end(), format) == limits.formats.end()) {
        return std::nullopt;
    }
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.isEmpty() ||
        static_cast<long long>(declared.width()) * declared.height() > limits.maxSourcePixels) {
        return std::nullopt;
    }
    const QSize target = fitted(declared, limits.maxSide);
    if (decodeBytes(bytes, format, declared, target) > limits.maxDecodeBytes) {
        return std::nullopt;
    }
    reader.setAutoTransform(true);
    if (target != declared) {
        reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

} // namespace korvane
