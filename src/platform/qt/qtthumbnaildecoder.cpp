#include "platform/qt/qtthumbnaildecoder.h"

#include "platform/qt/boundedimagereader.h"

#include <QByteArray>
#include <QImage>
#include <algorithm>
#include <mutex>

namespace korvane {
namespace {

constexpr const char* previewFormats[] = {"png", "jpeg", "jpg", "gif", "webp"};

// Loads overlap when the user moves quickly through image results: one decode at a time keeps
// their peaks from adding up.
std::mutex& decodeMutex() {
    static std::mutex mutex;
    return mutex;
}

DecodedImage pixelsOf(QImage image) {
    image = std::move(image).convertToFormat(QImage::Format_ARGB32);
    DecodedImage decoded{image.width(), image.height(), {}};
    decoded.pixels.resize(static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::copy(line, line + image.width(),
                  decoded.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width());
    }
    return decoded;
}

} // namespace

std::optional<DecodedImage> QtThumbnailDecoder::decodeThumbnail(std::string bytes, int maxPixelSize) const {
    const std::lock_guard lock(decodeMutex());
    std::optional<QImage> image =
        BoundedImageReader::read(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                 {maxPixelSize, maxSourcePixels, maxDecodeBytes, previewFormats});
    std::string().swap(bytes);
    if (!image) {
        return std::nullopt;
    }
    return pixelsOf(std::move(*image));
}

} // namespace korvane
