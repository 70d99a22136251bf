#pragma once

#include "platform/thumbnaildecoder.h"

#include <cstddef>

namespace korvane {

// Decodes thumbnails with QImageReader from bytes already read: the header's size and kind are
// checked before any pixel is decoded, formats that scale while decoding (JPEG) do so, and only the
// raster formats previews show are accepted. Decodes one image at a time, whichever thread asks, and
// lets the file's bytes go once they are read. Any thread.
class QtThumbnailDecoder final : public ThumbnailDecoder {
public:
    // An image declaring more pixels than this is refused before decoding.
    static constexpr long long maxSourcePixels = 64LL * 1024 * 1024;
    // An image whose decoding would hold more than this is refused before decoding: with the file's
    // bytes (at most 10 MiB) a thumbnail then never costs more than about 40 MB.
    static constexpr std::size_t maxDecodeBytes = 24 * 1024 * 1024;

    std::optional<DecodedImage> decodeThumbnail(std::string bytes, int maxPixelSize) const override;
};

} // namespace korvane
