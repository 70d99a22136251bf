#pragma once

#include "detail/fileattributes.h"
#include "platform/thumbnaildecoder.h"
#include "popup/previewcontent.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// Makes and keeps the previews of file-backed results: the loaders read and decode a text or an
// image file and run in background jobs (any thread, no shared state); the cache of finished
// previews, validated by the file's modification date and size and bounded apart for images and
// everything else, lives on the main thread. The coordinator owns one.
class PreviewContentService {
public:
    struct PreviewCacheEntry {
        PreviewContent content;
        bool isImage = false;
        std::chrono::system_clock::time_point mtime;
        std::uint64_t size = 0;
    };

    static constexpr std::uint64_t maxTextBytes = 262'144;
    static constexpr std::size_t nulScanBytes = 8'192;
    static constexpr std::uint64_t maxImageBytes = 10'485'760;
    static constexpr int thumbnailMaxPixelSize = 1040;
    static constexpr std::size_t maxImageEntries = 5;
    static constexpr std::size_t maxOtherEntries = 10;

    static const std::set<std::string, std::less<>>& imageExtensions();
    // Lower case throughout, so that folder-metadata files (".DS_Store") are refused unread.
    static const std::set<std::string, std::less<>>& unpreviewableExtensions();
    // The text after the last dot of the path's last component, lowercased; "" without a dot.
    static std::string lowercasedExtension(std::string_view path);
    // What a load of `path` would be: an image, a refused file, or text.
    static FilePreviewType previewType(std::string_view path);

    explicit PreviewContentService(std::shared_ptr<const ThumbnailDecoder> decoder);

    // Main thread. The cached preview of `path` without looking at the file; a hit becomes the
    // most recently used entry.
    std::optional<PreviewContent> cachedContent(const std::string& path);
    // The cached preview while the file's date and size still match; a stale entry is dropped.
    std::optional<PreviewContent> validatedContent(const std::string& path);
    // Records a finished preview (also `unavailable`) with the file's date and size; nothing when
    // those cannot be read.
    void store(const PreviewContent& content, const std::string& path, FilePreviewType type);
    // Memory pressure: forgets every entry.
    void clear();
    // Paths from the least to the most recently used.
    const std::vector<std::string>& accessOrder() const { return accessOrder_; }
    bool contains(const std::string& path) const { return cache_.contains(path); }

    const std::shared_ptr<const ThumbnailDecoder>& decoder() const { return decoder_; }

    // Any thread. The trimmed text of a small text file: regular files of at most 262,144 bytes,
    // without a zero byte in their first 8,192, in valid UTF-8, not blank. With
    // `stripFrontMatter` only the body after a leading front matter block, none without one.
    static std::optional<std::string> loadTextPreview(const std::string& path, bool stripFrontMatter);
    // The body after a front matter block that opens on the first line, none when there is none.
    static std::optional<std::string> frontMatterBody(std::string_view text);
    // Whether `path` may be read for a preview: a path inside the project `root` must stay inside it
    // once its links are followed (a committed link must not show a private file of the user);
    // paths outside the project, such as global skills, are not the project's to judge.
    static bool staysInProject(const std::string& path, const std::optional<std::string>& root);
    // A thumbnail of at most 1040 pixels a side of a regular image file of at most 10 MiB.
    static std::optional<std::shared_ptr<const PreviewImage>>
    loadImageThumbnail(const ThumbnailDecoder& decoder, const std::string& path);

private:
    void touch(const std::string& path);
    void remove(const std::string& path);
    void evictIfNeeded();
    void evict(bool images, std::size_t excess);

    std::shared_ptr<const ThumbnailDecoder> decoder_;
    std::unordered_map<std::string, PreviewCacheEntry> cache_;
    std::vector<std::string> accessOrder_;
};

} // namespace korvane
