#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Pixels of a decoded image, rows top to bottom, 32-bit ARGB (not premultiplied).
struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Turns the bytes of a PNG, JPEG, GIF or WebP file into a thumbnail whose longer side is at most
// `maxPixelSize`, with the file's orientation applied; any other format, an image whose header
// declares more pixels or a costlier decoding than the decoder will hold, or broken data gives none.
// Vector formats are never rendered. The decoder takes the bytes, so that it can let them go as soon as it
// has read them. Called from background jobs on any thread.
class ThumbnailDecoder {
public:
    virtual ~ThumbnailDecoder() = default;
    virtual std::optional<DecodedImage> decodeThumbnail(std::string bytes, int maxPixelSize) const = 0;
};

} // namespace korvane
