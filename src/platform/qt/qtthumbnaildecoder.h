#pragma once

#include "platform/thumbnaildecoder.h"

namespace korvane {

// Decodes thumbnails with QImageReader from bytes already read: the header's size is checked before
// any pixel is decoded, formats that scale while decoding (JPEG) do so, and only the raster formats
// previews show are accepted. Stateless; any thread.
class QtThumbnailDecoder final : public ThumbnailDecoder {
public:
    // An image declaring more pixels than this is refused before decoding (about 256 MB as ARGB).
    static constexpr long long maxSourcePixels = 64LL * 1024 * 1024;

    std::optional<DecodedImage> decodeThumbnail(const std::string& bytes, int maxPixelSize) const override;
};

} // namespace korvane
