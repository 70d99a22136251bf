#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace korvane {

// Decoded pixels of an image preview, rows top to bottom, 32-bit ARGB. Shared, never changed.
struct PreviewImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// The preview of a file-backed result: its text, an image, or nothing that can be shown.
// A plain value, copied freely.
class PreviewContent {
public:
    struct Text {
        std::string text;
    };
    struct Image {
        std::shared_ptr<const PreviewImage> image;
    };
    struct Unavailable {};
    using Value = std::variant<Text, Image, Unavailable>;

    static PreviewContent text(std::string text) { return PreviewContent(Text{std::move(text)}); }
    static PreviewContent image(std::shared_ptr<const PreviewImage> image) {
        return PreviewContent(Image{std::move(image)});
    }
    static PreviewContent unavailable() { return PreviewContent(Unavailable{}); }

    const Value& value() const { return value_; }

private:
    explicit PreviewContent(Value value)
        : value_(std::move(value)) {}

    Value value_;
};

// The kind of a preview load.
enum class FilePreviewType { text, image, unsupported };

} // namespace korvane
