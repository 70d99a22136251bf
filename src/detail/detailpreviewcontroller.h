#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/scheduler.h"
#include "files/gitbranchmetadataprovider.h"
#include "popup/detailpreviewcontroller.h"
#include "popup/detailpreviewtiming.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace korvane {
class PreviewContentService;
}

namespace korvane::detailpanel {

// Decides when the popup's detail column shows each stage of the selected result (its shell after a
// short dwell, then its metadata and preview after a debounce that waits for arrow keys to rest)
// and loads them: git branch figures, file size and date, text or thumbnail previews, each in a
// background job whose result is dropped once superseded. Main thread; held by std::shared_ptr,
// since its timers and jobs refer to it weakly.
class DetailPreviewController final : public korvane::DetailPreviewController,
                                      public std::enable_shared_from_this<DetailPreviewController> {
public:
    using MonotonicTime = Clock::MonotonicTime;

    static constexpr double feedLogThresholdMs = 5.0;
    static constexpr double loadLogThresholdMs = 100.0;
    static constexpr double fileLoadWaitSeconds = 0.05;
    static constexpr double gitLoadWaitSeconds = 0.1;
    static constexpr double metadataRetrySeconds = 30.0;
    static constexpr std::size_t longExpansion = 60;
    static constexpr const char* logCategory = "DetailPreviewController.Performance";

    // What the controller loads with. The scheduler and clock outlive it.
    struct Loaders {
        Scheduler& scheduler;
        const Clock& clock;
        std::shared_ptr<PreviewContentService> previews;
        std::shared_ptr<const GitBranchMetadataProvider> branches;
    };

    static std::shared_ptr<DetailPreviewController> create(DetailPreviewTiming timing, Loaders loaders);
    ~DetailPreviewController() override;
    DetailPreviewController(const DetailPreviewController&) = delete;
    DetailPreviewController& operator=(const DetailPreviewController&) = delete;

    // Whether a result has anything for the detail column: a link, a file-backed or git source, a
    // description (even empty), or an expansion of several lines or more than 60 characters.
    static bool hasPreviewableDetail(const Snippet& snippet);

    // The popup's interface.
    std::optional<PreviewContent> currentPreviewContent() const override { return currentPreviewContent_; }
    std::optional<std::string> previewContentSnippetID() const override { return previewContentSnippetID_; }
    SnippetPtr previewSnippet() const override { return previewSnippet_; }
    void setPreviewSnippet(SnippetPtr snippet) override;
    SnippetPtr detailShellSnippet() const override { return detailShellSnippet_; }
    std::optional<BranchMetadata> gitBranchMetadata(const std::string& snippetID) const override;
    std::optional<FileMetadata> fileMetadata(const std::string& snippetID) const override;
    void clearMetadata() override;
    void noteNavigationEvent() override;
    void cancelDebounceTask() override;
    void cancelScheduledPreviews() override;
    void cancelAllTasks() override;
    void resetNavigationBurst() override;
    void clearPreview() override;
    void reset() override;
    void feedPreview(const SnippetPtr& snippet, bool detailHasFocus, std::function<void(bool)> setDetailFocus,
                     std::function<void(int)> setScrollPosition) override;
    void showDetailShell(const std::vector<SearchResult>& results, std::size_t index) override;
    void scheduleIdleAutoPreview(const std::vector<SearchResult>& results, std::size_t index,
                                 PopupMode mode) override;

    // The loads, started by the stages above.
    void loadPreviewContent(const SnippetPtr& snippet);
    void loadGitBranchMetadata(const Snippet& snippet);
    void loadFileMetadata(const Snippet& snippet);

    // State the stages read, for tests and the views.
    const DetailPreviewTiming& timing() const { return timing_; }
    bool isNavigationBurstActive() const { return isNavigationBurstActive_; }
    const SnippetPtr& pendingContentSnippet() const { return pendingContentSnippet_; }
    bool hasPendingDwell() const { return isPending(shellDwellTask_); }
    bool hasPendingDebounce() const { return isPending(debounceTask_); }

private:
    // A main-thread task: its own cancellation flag, checked after every wait and background job,
    // and the scheduler's timer, stopped with it.
    struct Task {
        CancellationToken token;
        CancellationToken timer;
        void cancel() const {
            token.cancel();
            timer.cancel();
        }
    };

    DetailPreviewController(DetailPreviewTiming timing, Loaders loaders);

    static bool isPending(const std::optional<Task>& task) { return task && !task->token.isCancelled(); }
    static void cancel(std::optional<Task>& task, bool forget = false);
    // Starts a task that runs `body` on the main thread after `seconds`, unless cancelled or the
    // controller is gone by then.
    Task after(double seconds, std::function<void(DetailPreviewController&, const CancellationToken&)> body);
    double secondsSince(MonotonicTime start) const;

    void changed();
    void publishDetailShell(const SnippetPtr& snippet);
    void setDetailShell(SnippetPtr snippet);
    void publishContent(const std::string& snippetID, PreviewContent content);
    void clearContentFields();
    Task startContentDebounce(const SnippetPtr& snippet);
    void commitPendingContent();
    bool navigatedRecently(MonotonicTime now) const;
    void startFilePreviewLoad(const SnippetPtr& snippet, const std::string& path);
    void finishFilePreviewLoad(const std::string& snippetID, const std::string& path, FilePreviewType type,
                               PreviewContent content, MonotonicTime started);

    Loaders loaders_;
    const DetailPreviewTiming timing_;

    SnippetPtr previewSnippet_;
    SnippetPtr detailShellSnippet_;
    std::map<std::string, BranchMetadata> gitBranchMetadata_;
    std::map<std::string, FileMetadata> fileMetadata_;
    std::optional<PreviewContent> currentPreviewContent_;
    std::optional<std::string> previewContentSnippetID_;
    // Monotonic, so a wall-clock jump neither blocks nor hurries the retry.
    std::map<std::string, MonotonicTime> fileMetadataFailedAt_;
    std::optional<Task> debounceTask_;
    std::optional<Task> shellDwellTask_;
    std::optional<Task> idleAutoPreviewTask_;
    std::optional<Task> gitMetadataTask_;
    std::optional<Task> previewContentTask_;
    std::optional<Task> fileMetadataTask_;
    bool isNavigationBurstActive_ = false;
    // None until the first arrow key, and again after a reset.
    std::optional<MonotonicTime> lastNavEventTime_;
    std::optional<Task> navIdleTask_;
    SnippetPtr pendingContentSnippet_;
};

} // namespace korvane::detailpanel
