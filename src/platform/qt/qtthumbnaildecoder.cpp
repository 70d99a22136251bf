#include "platform/qt/qtthumbnaildecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cmath>

namespace korvane {
namespace {

bool isPreviewFormat(const QByteArray& format) {
    static const QByteArray formats[] = {"png", "jpeg", "jpg", "gif", "webp"};
    return std::find(std::begin(formats), std::end(formats), format.toLower()) != std::end(formats);
}

} // namespace

std::optional<DecodedImage> QtThumbnailDecoder::decodeThumbnail(const std::string& bytes,
                                                                int maxPixelSize) const {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    QImageReader reader(&buffer);
    // The content decides the format, whatever the file is named: a vector image named .png stays
    // unrendered.
    reader.setDecideFormatFromContent(true);
    if (!isPreviewFormat(reader.format())) {
        return std::nullopt;
    }
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.isEmpty() ||
        static_cast<long long>(declared.width()) * declared.height() > maxSourcePixels) {
        return std::nullopt;
    }
    reader.setAutoTransform(true);
    const int longest = std::max(declared.width(), declared.height());
    if (maxPixelSize > 0 && longest > maxPixelSize) {
        const double scale = static_cast<double>(maxPixelSize) / longest;
        reader.setScaledSize(QSize(std::max(1, static_cast<int>(std::lround(declared.width() * scale))),
                                   std::max(1, static_cast<int>(std::lround(declared.height() * scale)))));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    DecodedImage decoded{image.width(), image.height(), {}};
    decoded.pixels.resize(static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        std::copy(line, line + image.width(),
                  decoded.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width());
    }
    return decoded;
}

} // namespace korvane
