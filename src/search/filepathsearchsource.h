#pragma once

#include "files/filepathprovider.h"
#include "search/filesearchsource.h"

#include <memory>

namespace korvane {

// The shared file path provider seen as the search side's file source. Any thread.
class FilePathSearchSource final : public FileSearchSource {
public:
    explicit FilePathSearchSource(std::shared_ptr<FilePathProvider> provider)
        : provider_(std::move(provider)) {}

    using FileSearchSource::search;
    std::vector<SearchResult> search(const std::string& query, const std::string& projectRoot, bool caseSensitive,
                                     const CancellationToken* cancellation) override {
        return provider_->search(query, projectRoot, caseSensitive, cancellation);
    }
    std::vector<std::string> recentPaths(const std::string& projectRoot, std::size_t limit) override {
        return provider_->recentPaths(projectRoot, limit);
    }
    Snippet makeSnippet(const std::string& relativePath, const std::string& projectRoot) override {
        return FilePathProvider::makeSnippet(relativePath, projectRoot, provider_->insertionMode());
    }
    bool isIndexTruncated(const std::string& projectRoot) override { return provider_->isIndexTruncated(projectRoot); }
    bool isRecentFilesLoading(const std::string& projectRoot) override {
        return provider_->isRecentFilesLoading(projectRoot);
    }

private:
    std::shared_ptr<FilePathProvider> provider_;
};

} // namespace korvane
