// The loads of the detail column: preview content, git branch figures and file metadata. Each waits
// briefly on the main thread, so that a quicker selection cancels it before any file is opened or
// process started, then runs its blocking part in a background job and publishes the result only
// while it is still wanted.

#include "base/diagnostics.h"
#include "detail/detailpreviewcontroller.h"
#include "detail/fileattributes.h"
#include "detail/previewcontentservice.h"

#include <fmt/format.h>

namespace korvane::detailpanel {
namespace {

std::optional<std::string> metadataValue(const Snippet& snippet, const char* key) {
    if (!snippet.metadata) {
        return std::nullopt;
    }
    const auto found = snippet.metadata->find(key);
    return found == snippet.metadata->end() ? std::nullopt : std::optional(found->second);
}

std::string lastPathComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const char* typeName(FilePreviewType type) {
    switch (type) {
    case FilePreviewType::text:
        return "text";
    case FilePreviewType::image:
        return "image";
    case FilePreviewType::unsupported:
        break;
    }
    return "unsupported";
}

// The background half of a preview load: the file's text or thumbnail, none when it has none.
std::optional<PreviewContent> loadFile(FilePreviewType type, const std::string& path, bool stripFrontMatter,
                                       const ThumbnailDecoder* decoder) {
    if (type == FilePreviewType::text) {
        if (auto text = PreviewContentService::loadTextPreview(path, stripFrontMatter)) {
            return PreviewContent::text(std::move(*text));
        }
    } else if (type == FilePreviewType::image && decoder != nullptr) {
        if (auto image = PreviewContentService::loadImageThumbnail(*decoder, path)) {
            return PreviewContent::image(std::move(*image));
        }
    }
    return std::nullopt;
}

} // namespace

void DetailPreviewController::loadPreviewContent(const SnippetPtr& snippet) {
    previewSnippet_ = snippet;
    const auto path = metadataValue(*snippet, "filePath");
    if (path) {
        if (auto cached = loaders_.previews->validatedContent(*path)) {
            publishContent(snippet->id, std::move(*cached));
            return;
        }
    }
    clearContentFields();
    if (path) {
        startFilePreviewLoad(snippet, *path);
        return;
    }
    switch (snippet->source.kind()) {
    case SnippetSource::Kind::claudeSkill:
    case SnippetSource::Kind::aiDoc:
    case SnippetSource::Kind::filePath:
        publishContent(snippet->id, PreviewContent::unavailable());
        break;
    default:
        break;
    }
}

void DetailPreviewController::startFilePreviewLoad(const SnippetPtr& snippet, const std::string& path) {
    if (auto cached = loaders_.previews->validatedContent(path)) {
        publishContent(snippet->id, std::move(*cached));
        return;
    }
    const FilePreviewType type = PreviewContentService::previewType(path);
    if (type == FilePreviewType::unsupported) {
        publishContent(snippet->id, PreviewContent::unavailable());
        return;
    }
    cancel(previewContentTask_);
    const bool stripFrontMatter = snippet->source.kind() == SnippetSource::Kind::claudeSkill;
    const MonotonicTime started = loaders_.clock.monotonicNow();
    std::optional<std::string> root = projectRoot ? projectRoot() : std::nullopt;
    previewContentTask_ =
        after(fileLoadWaitSeconds, [type, stripFrontMatter, path, root, id = snippet->id,
                                    started](DetailPreviewController& self, const CancellationToken& token) {
            std::weak_ptr<DetailPreviewController> weak = self.weak_from_this();
            Scheduler* scheduler = &self.loaders_.scheduler;
            self.loaders_.scheduler.runInBackground(
                TaskPriority::userInitiated,
                [weak, scheduler, token, type, stripFrontMatter, path, root, id, started,
                 decoder = self.loaders_.previews->decoder()](const CancellationToken&) {
                    // A link out of the project stays unavailable, whatever it leads to.
                    std::optional<PreviewContent> content;
                    if (PreviewContentService::staysInProject(path, root)) {
                        content = loadFile(type, path, stripFrontMatter, decoder.get());
                    }
                    scheduler->post([weak, token, type, path, id, started,
                                     result = content.value_or(PreviewContent::unavailable())] {
                        auto self = weak.lock();
                        if (!self || token.isCancelled()) {
                            return;
                        }
                        self->finishFilePreviewLoad(id, path, type, result, started);
                    });
                });
        });
}

void DetailPreviewController::finishFilePreviewLoad(const std::string& snippetID, const std::string& path,
                                                    FilePreviewType type, PreviewContent content,
                                                    MonotonicTime started) {
    if (!previewSnippet_ || previewSnippet_->id != snippetID) {
        return;
    }
    loaders_.previews->store(content, path, type);
    publishContent(snippetID, std::move(content));
    const double elapsedMs = secondsSince(started) * 1000.0;
    if (elapsedMs > loadLogThresholdMs) {
        performanceLog(logCategory, fmt::format("[PREVIEW_LOAD] path={} type={} elapsed={:.2f}ms",
                                                lastPathComponent(path), typeName(type), elapsedMs));
    }
}

void DetailPreviewController::loadGitBranchMetadata(const Snippet& snippet) {
    if (metadataValue(snippet, "type") == "tag") {
        return;
    }
    if (gitBranchMetadata_.contains(snippet.id) || !projectRoot || !loaders_.branches) {
        return;
    }
    const std::optional<std::string> root = projectRoot();
    if (!root) {
        return;
    }
    cancel(gitMetadataTask_);
    gitMetadataTask_ =
        after(gitLoadWaitSeconds, [branch = snippet.label, root = *root, id = snippet.id](
                                      DetailPreviewController& self, const CancellationToken& token) {
            std::weak_ptr<DetailPreviewController> weak = self.weak_from_this();
            Scheduler* scheduler = &self.loaders_.scheduler;
            self.loaders_.scheduler.runInBackground(
                TaskPriority::userInitiated, [weak, scheduler, token, branch, root, id,
                                              provider = self.loaders_.branches](const CancellationToken&) {
                    auto figures = provider->aheadBehind(branch, root);
                    scheduler->post([weak, token, id, figures = std::move(figures)] {
                        auto self = weak.lock();
                        // No answer leaves no entry, so the next selection of the branch asks again.
                        if (!self || token.isCancelled() || !figures) {
                            return;
                        }
                        const auto found = self->gitBranchMetadata_.find(id);
                        if (found != self->gitBranchMetadata_.end() && found->second == *figures) {
                            return;
                        }
                        self->gitBranchMetadata_.insert_or_assign(id, *figures);
                        self->changed();
                    });
                });
        });
}

void DetailPreviewController::loadFileMetadata(const Snippet& snippet) {
    if (snippet.source.kind() != SnippetSource::Kind::filePath || fileMetadata_.contains(snippet.id)) {
        return;
    }
    if (const auto failed = fileMetadataFailedAt_.find(snippet.id);
        failed != fileMetadataFailedAt_.end() && secondsSince(failed->second) < metadataRetrySeconds) {
        return;
    }
    const auto path = metadataValue(snippet, "filePath");
    if (!path) {
        return;
    }
    cancel(fileMetadataTask_);
    std::optional<std::string> root = projectRoot ? projectRoot() : std::nullopt;
    fileMetadataTask_ = after(fileLoadWaitSeconds, [path = *path, root,
                                                    id = snippet.id](DetailPreviewController& self,
                                                                     const CancellationToken& token) {
        std::weak_ptr<DetailPreviewController> weak = self.weak_from_this();
        Scheduler* scheduler = &self.loaders_.scheduler;
        self.loaders_.scheduler.runInBackground(
            TaskPriority::userInitiated, [weak, scheduler, token, path, root, id](const CancellationToken&) {
                // A link out of the project tells nothing of its target, not even its size and date.
                const auto attributes = PreviewContentService::staysInProject(path, root)
                                            ? FileAttributes::read(path)
                                            : FileAttributes::readWithoutFollowing(path);
                scheduler->post([weak, token, id, attributes] {
                    auto self = weak.lock();
                    if (!self || token.isCancelled()) {
                        return;
                    }
                    if (attributes) {
                        self->fileMetadata_.insert_or_assign(
                            id, FileMetadata{attributes->size, attributes->modified});
                        self->fileMetadataFailedAt_.erase(id);
                    } else {
                        self->fileMetadataFailedAt_.insert_or_assign(id, self->loaders_.clock.monotonicNow());
                    }
                    self->changed();
                });
            });
    });
}

} // namespace korvane::detailpanel
