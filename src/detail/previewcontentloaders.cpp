// The loaders of PreviewContentService: they read and decode files in background jobs and share
// nothing with the cache.

#include "base/fileio.h"
#include "base/unicode.h"
#include "detail/previewcontentservice.h"
#include "providers/providertext.h"

#include <algorithm>
#include <filesystem>

namespace korvane {
namespace {

bool isDelimiter(std::string_view line) {
    return trimmedAscii(line, " \t") == "---";
}

std::optional<std::string> nonBlank(std::string_view text) {
    const std::string_view trimmed = trimmedWhitespaceAndNewlines(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return std::string(trimmed);
}

} // namespace

std::optional<std::string> PreviewContentService::frontMatterBody(std::string_view text) {
    const std::vector<std::string_view> lines = providerLines(text);
    if (lines.empty() || !isDelimiter(lines.front())) {
        return std::nullopt;
    }
    const auto closing = std::find_if(lines.begin() + 1, lines.end(), isDelimiter);
    if (closing == lines.end() || closing + 1 == lines.end()) {
        return std::nullopt;
    }
    std::string body;
    for (auto line = closing + 1; line != lines.end(); ++line) {
        if (line != closing + 1) {
            body += '\n';
        }
        body += *line;
    }
    return nonBlank(body);
}

std::optional<std::string> PreviewContentService::loadTextPreview(const std::string& path,
                                                                  bool stripFrontMatter) {
    if (unpreviewableExtensions().contains(lowercasedExtension(path))) {
        return std::nullopt;
    }
    // Regular files only, opened without blocking, and never more than one byte past the limit:
    // a FIFO, a device or a file that grows while it is read gives no preview.
    auto contents = readRegularFile(path, maxTextBytes);
    if (!contents) {
        return std::nullopt;
    }
    const std::string& bytes = *contents;
    const std::size_t scanned = std::min(bytes.size(), nulScanBytes);
    if (std::find(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(scanned), '\0') !=
        bytes.begin() + static_cast<std::ptrdiff_t>(scanned)) {
        return std::nullopt;
    }
    if (!isValidUtf8(bytes)) {
        return std::nullopt;
    }
    return stripFrontMatter ? frontMatterBody(bytes) : nonBlank(bytes);
}

bool PreviewContentService::staysInProject(const std::string& path, const std::optional<std::string>& root) {
    if (!root || root->empty()) {
        return true;
    }
    std::string lexicalRoot = *root;
    while (lexicalRoot.size() > 1 && lexicalRoot.back() == '/') {
        lexicalRoot.pop_back();
    }
    if (!path.starts_with(lexicalRoot + "/")) {
        return true;
    }
    std::error_code error;
    const auto realRoot = std::filesystem::canonical(lexicalRoot, error);
    if (error) {
        return false;
    }
    const auto realPath = std::filesystem::canonical(path, error);
    if (error) {
        return false;
    }
    const std::string inside = realRoot.string() == "/" ? "/" : realRoot.string() + "/";
    return realPath.string().starts_with(inside);
}

std::optional<std::shared_ptr<const PreviewImage>>
PreviewContentService::loadImageThumbnail(const ThumbnailDecoder& decoder, const std::string& path) {
    // The same guards as for text: a regular file, read whole but never past the size limit.
    auto contents = readRegularFile(path, maxImageBytes);
    if (!contents) {
        return std::nullopt;
    }
    auto decoded = decoder.decodeThumbnail(std::move(*contents), thumbnailMaxPixelSize);
    if (!decoded || decoded->width <= 0 || decoded->height <= 0) {
        return std::nullopt;
    }
    return std::make_shared<const PreviewImage>(
        PreviewImage{decoded->width, decoded->height, std::move(decoded->pixels)});
}

} // namespace korvane
