#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <cstddef>
#include <optional>
#include <span>

namespace korvane {

// Decodes an image held in memory within limits that its header settles before any pixel is
// decoded: the format (from the content, whatever the file is called), the declared size and the
// memory the decoding would hold. An image within them comes out no larger than asked, decoded at a
// reduced scale where the format allows it. Each decode carries its own limits: no process-wide
// reader setting is changed. Stateless; any thread.
class BoundedImageReader {
public:
    struct Limits {
        // The longer side of the result, at most.
        int maxSide = 0;
        // An image declaring more pixels than this is refused.
        long long maxSourcePixels = 0;
        // An image whose decoding would hold more bytes than this is refused.
        std::size_t maxDecodeBytes = 0;
        // The formats accepted, in lower case as the reader names them.
        std::span<const char* const> formats;
    };

    static std::optional<QImage> read(const QByteArray& bytes, const Limits& limits);

    // The bytes that decoding `bytes` (of `format`, declaring `declared` pixels) into an image of
    // `target` pixels holds at its peak, as far as the header tells: a baseline JPEG decodes at an
    // eighth to full scale and a plain 8-bit colour PNG row by row, while a progressive JPEG keeps
    // every coefficient of the full image and anything else decodes whole before it is scaled.
    static std::size_t decodeBytes(const QByteArray& bytes, const QByteArray& format, QSize declared,
                                   QSize target);
};

} // namespace korvane
