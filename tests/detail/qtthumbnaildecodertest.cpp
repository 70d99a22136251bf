#include "platform/qt/qtthumbnaildecoder.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <gtest/gtest.h>

namespace korvane {
namespace {

std::string encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

TEST(QtThumbnailDecoderTest, ScalesDownKeepsSmallImagesAndRefusesBombsAndVectors) {
    const QtThumbnailDecoder decoder;
    QImage wide(1200, 800, QImage::Format_RGB32);
    wide.fill(Qt::darkCyan);
    for (const char* format : {"PNG", "JPEG"}) {
        const auto thumbnail = decoder.decodeThumbnail(encoded(wide, format), 1040);
        ASSERT_TRUE(thumbnail) << format;
        EXPECT_EQ(thumbnail->width, 1040) << format;
        EXPECT_EQ(thumbnail->height, 693) << format;
        EXPECT_EQ(thumbnail->pixels.size(), 1040u * 693u) << format;
    }
    QImage small(40, 30, QImage::Format_ARGB32);
    small.fill(Qt::red);
    const auto kept = decoder.decodeThumbnail(encoded(small, "PNG"), 1040);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->width, 40);
    EXPECT_EQ(kept->pixels.front(), 0xffff0000u);

    // A PNG of a few bytes that declares 50,000 × 50,000 pixels is refused from its header.
    const std::string bomb(
        "\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\xc3\x50\x00\x00\xc3\x50\x08\x00\x00\x00\x00"
        "\x6e\xc4\x62\x16\x00\x00\x00\x00IEND\xae\x42\x60\x82",
        45);
    EXPECT_EQ(decoder.decodeThumbnail(bomb, 1040), std::nullopt);
    EXPECT_EQ(decoder.decodeThumbnail(
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"/>", 1040),
              std::nullopt);
    EXPECT_EQ(decoder.decodeThumbnail("", 1040), std::nullopt);
}

// A progressive JPEG keeps every coefficient of the full image until its last scan, however small
// the thumbnail: one of 3500 × 3500 would hold about 37 MB, so the header refuses it. The same picture
// stored baseline decodes at a quarter of its size.
TEST(QtThumbnailDecoderTest, RefusesProgressiveJpegsWhoseDecodingWouldHoldTooMuch) {
    const QtThumbnailDecoder decoder;
    QImage picture(3500, 3500, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const auto jpeg = [&](bool progressive) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "JPEG");
        writer.setProgressiveScanWrite(progressive);
        writer.write(picture);
        return bytes.toStdString();
    };
    EXPECT_EQ(decoder.decodeThumbnail(jpeg(true), 1040), std::nullopt);
    const auto baseline = decoder.decodeThumbnail(jpeg(false), 1040);
    ASSERT_TRUE(baseline);
    EXPECT_EQ(baseline->width, 1040);
    EXPECT_EQ(baseline->height, 1040);
}

} // namespace
} // namespace korvane
