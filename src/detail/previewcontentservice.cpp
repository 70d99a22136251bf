#include "detail/previewcontentservice.h"

#include <algorithm>

namespace korvane {

const std::set<std::string, std::less<>>& PreviewContentService::imageExtensions() {
    static const std::set<std::string, std::less<>> extensions{"png", "jpg", "jpeg", "gif", "webp"};
    return extensions;
}

const std::set<std::string, std::less<>>& PreviewContentService::unpreviewableExtensions() {
    static const std::set<std::string, std::less<>> extensions{
        "ico", "svg", "pdf", "zip", "tar", "gz",    "bz2", "xz", "woff", "woff2",  "ttf", "otf",     "mp3",
        "mp4", "wav", "mov", "avi", "exe", "dylib", "so",  "o",  "a",    "sqlite", "db",  "ds_store"};
    return extensions;
}

std::string PreviewContentService::lowercasedExtension(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return extension;
}

FilePreviewType PreviewContentService::previewType(std::string_view path) {
    const std::string extension = lowercasedExtension(path);
    if (imageExtensions().contains(extension)) {
        return FilePreviewType::image;
    }
    if (unpreviewableExtensions().contains(extension)) {
        return FilePreviewType::unsupported;
    }
    return FilePreviewType::text;
}

PreviewContentService::PreviewContentService(std::shared_ptr<const ThumbnailDecoder> decoder)
    : decoder_(std::move(decoder)) {}

void PreviewContentService::touch(const std::string& path) {
    std::erase(accessOrder_, path);
    accessOrder_.push_back(path);
}

void PreviewContentService::remove(const std::string& path) {
    cache_.erase(path);
    std::erase(accessOrder_, path);
}

std::optional<PreviewContent> PreviewContentService::cachedContent(const std::string& path) {
    const auto found = cache_.find(path);
    if (found == cache_.end()) {
        return std::nullopt;
    }
    touch(path);
    return found->second.content;
}

std::optional<PreviewContent> PreviewContentService::validatedContent(const std::string& path) {
    const auto found = cache_.find(path);
    if (found == cache_.end()) {
        return std::nullopt;
    }
    const auto attributes = FileAttributes::read(path);
    if (!attributes || attributes->modified != found->second.mtime ||
        attributes->size != found->second.size) {
        remove(path);
        return std::nullopt;
    }
    touch(path);
    return found->second.content;
}

void PreviewContentService::store(const PreviewContent& content, const std::string& path,
                                  FilePreviewType type) {
    const auto attributes = FileAttributes::read(path);
    if (!attributes) {
        return;
    }
    cache_.insert_or_assign(path, PreviewCacheEntry{content, type == FilePreviewType::image,
                                                    attributes->modified, attributes->size});
    touch(path);
    evictIfNeeded();
}

void PreviewContentService::clear() {
    cache_.clear();
    accessOrder_.clear();
}

void PreviewContentService::evictIfNeeded() {
    std::size_t images = 0;
    std::size_t others = 0;
    for (const auto& path : accessOrder_) {
        if (const auto found = cache_.find(path); found != cache_.end()) {
            ++(found->second.isImage ? images : others);
        }
    }
    // Images and other entries are bounded apart: neither kind pushes the other out.
    if (images > maxImageEntries) {
        evict(true, images - maxImageEntries);
    }
    if (others > maxOtherEntries) {
        evict(false, others - maxOtherEntries);
    }
}

void PreviewContentService::evict(bool images, std::size_t excess) {
    std::vector<std::string> victims;
    for (const auto& path : accessOrder_) {
        if (victims.size() == excess) {
            break;
        }
        const auto found = cache_.find(path);
        if (found != cache_.end() && found->second.isImage == images) {
            victims.push_back(path);
        }
    }
    for (const auto& path : victims) {
        remove(path);
    }
}

} // namespace korvane
