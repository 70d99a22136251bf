#pragma once

#include "popup/detailpreviewcontroller.h"

#include <string>
#include <vector>

namespace korvane::test {

// A detail controller that records the calls the view model makes, one line each, and shows the
// shell and preview snippets a test sets.
class RecordingDetailController final : public DetailPreviewController {
public:
    std::vector<std::string> calls;
    SnippetPtr shell;
    SnippetPtr preview;
    std::optional<PreviewContent> content;
    std::optional<std::string> contentID;
    // The setters of the last feedPreview, so a test can act as the detail panel.
    std::function<void(bool)> lastFocusSetter;
    std::function<void(int)> lastScrollSetter;

    std::optional<PreviewContent> currentPreviewContent() const override { return content; }
    std::optional<std::string> previewContentSnippetID() const override { return contentID; }
    SnippetPtr previewSnippet() const override { return preview; }
    void setPreviewSnippet(SnippetPtr snippet) override {
        calls.push_back("setPreviewSnippet");
        preview = std::move(snippet);
    }
    SnippetPtr detailShellSnippet() const override { return shell; }
    std::optional<BranchMetadata> gitBranchMetadata(const std::string&) const override { return std::nullopt; }
    std::optional<FileMetadata> fileMetadata(const std::string&) const override { return std::nullopt; }
    void clearMetadata() override { calls.push_back("clearMetadata"); }
    void noteNavigationEvent() override { calls.push_back("noteNavigationEvent"); }
    void cancelDebounceTask() override { calls.push_back("cancelDebounceTask"); }
    void cancelScheduledPreviews() override { calls.push_back("cancelScheduledPreviews"); }
    void cancelAllTasks() override { calls.push_back("cancelAllTasks"); }
    void resetNavigationBurst() override { calls.push_back("resetNavigationBurst"); }
    void clearPreview() override { calls.push_back("clearPreview"); }
    void reset() override { calls.push_back("reset"); }
    void feedPreview(const SnippetPtr& snippet, bool detailHasFocus, std::function<void(bool)> setDetailFocus,
                     std::function<void(int)> setScrollPosition) override {
        calls.push_back("feed:" + (snippet ? snippet->id : std::string("none")) +
                        (detailHasFocus ? ":detail" : ""));
        lastFocusSetter = std::move(setDetailFocus);
        lastScrollSetter = std::move(setScrollPosition);
    }
    void showDetailShell(const std::vector<SearchResult>& results, std::size_t index) override {
        calls.push_back("shell:" + std::to_string(results.size()) + ":" + std::to_string(index));
    }
    void scheduleIdleAutoPreview(const std::vector<SearchResult>& results, std::size_t index,
                                 PopupMode) override {
        calls.push_back("idle:" + std::to_string(results.size()) + ":" + std::to_string(index));
    }

    // The feedPreview lines only.
    std::vector<std::string> feeds() const {
        std::vector<std::string> out;
        for (const auto& call : calls) {
            if (call.rfind("feed:", 0) == 0) {
                out.push_back(call);
            }
        }
        return out;
    }
};

} // namespace korvane::test
