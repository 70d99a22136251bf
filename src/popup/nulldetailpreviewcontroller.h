#pragma once

#include "popup/detailpreviewcontroller.h"

namespace korvane {

// A detail controller that shows and loads nothing: every operation is accepted and does nothing,
// and every query answers "none". The view model uses it until the application installs the
// detail panel's own controller; a controller that answers some queries of its own starts from it.
// Main thread only.
class NullDetailPreviewController : public DetailPreviewController {
public:
    std::optional<PreviewContent> currentPreviewContent() const override { return std::nullopt; }
    std::optional<std::string> previewContentSnippetID() const override { return std::nullopt; }
    SnippetPtr previewSnippet() const override { return nullptr; }
    void setPreviewSnippet(SnippetPtr) override {}
    SnippetPtr detailShellSnippet() const override { return nullptr; }
    std::optional<BranchMetadata> gitBranchMetadata(const std::string&) const override { return std::nullopt; }
    std::optional<FileMetadata> fileMetadata(const std::string&) const override { return std::nullopt; }
    void clearMetadata() override {}
    void noteNavigationEvent() override {}
    void cancelDebounceTask() override {}

    void cancelScheduledPreviews() override {}
    void cancelAllTasks() override {}
    void resetNavigationBurst() override {}
    void clearPreview() override {}
    void reset() override {}
    void feedPreview(const SnippetPtr&, bool, std::function<void(bool)>, std::function<void(int)>) override {}
    void showDetailShell(const std::vector<SearchResult>&, std::size_t) override {}
    void scheduleIdleAutoPreview(const std::vector<SearchResult>&, std::size_t, PopupMode) override {}
};

} // namespace korvane
