// The timing of the detail column: shell dwell, content debounce, navigation bursts, idle
// auto-preview and the resets.

#include "detail/detailpreviewcontroller.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "detail/previewcontentservice.h"
#include "providers/providertext.h"

#include <chrono>
#include <fmt/format.h>

namespace korvane::detailpanel {
namespace {

double nanosecondsToSeconds(std::uint64_t ns) {
    return static_cast<double>(ns) / 1e9;
}

const std::string* filePathOf(const Snippet& snippet) {
    if (!snippet.metadata) {
        return nullptr;
    }
    const auto found = snippet.metadata->find("filePath");
    return found == snippet.metadata->end() ? nullptr : &found->second;
}

} // namespace

std::shared_ptr<DetailPreviewController> DetailPreviewController::create(DetailPreviewTiming timing,
                                                                         Loaders loaders) {
    return std::shared_ptr<DetailPreviewController>(new DetailPreviewController(timing, std::move(loaders)));
}

DetailPreviewController::DetailPreviewController(DetailPreviewTiming timing, Loaders loaders)
    : loaders_(std::move(loaders))
    , timing_(timing) {}

DetailPreviewController::~DetailPreviewController() {
    cancelAllTasks();
}

bool DetailPreviewController::hasPreviewableDetail(const Snippet& snippet) {
    if (snippet.url && !snippet.url->empty()) {
        return true;
    }
    switch (snippet.source.kind()) {
    case SnippetSource::Kind::claudeSkill:
    case SnippetSource::Kind::aiDoc:
    case SnippetSource::Kind::gitRef:
    case SnippetSource::Kind::filePath:
        return true;
    default:
        break;
    }
    if (snippet.description) {
        return true;
    }
    if (snippet.expansion.find('\n') != std::string::npos) {
        return true;
    }
    // Bytes bound the characters from above, so short texts skip the cluster count.
    return snippet.expansion.size() > longExpansion && graphemeCount(snippet.expansion) > longExpansion;
}

void DetailPreviewController::changed() {
    if (onChanged) {
        onChanged();
    }
}

void DetailPreviewController::cancel(std::optional<Task>& task, bool forget) {
    if (task) {
        task->cancel();
        if (forget) {
            task.reset();
        }
    }
}

DetailPreviewController::Task
DetailPreviewController::after(double seconds,
                               std::function<void(DetailPreviewController&, const CancellationToken&)> body) {
    Task task;
    std::weak_ptr<DetailPreviewController> weak = weak_from_this();
    task.timer = loaders_.scheduler.postAfter(seconds, [weak, token = task.token, body = std::move(body)] {
        auto self = weak.lock();
        if (!self || token.isCancelled()) {
            return;
        }
        body(*self, token);
    });
    return task;
}

double DetailPreviewController::secondsSince(MonotonicTime start) const {
    return std::chrono::duration<double>(loaders_.clock.monotonicNow() - start).count();
}

void DetailPreviewController::setPreviewSnippet(SnippetPtr snippet) {
    previewSnippet_ = std::move(snippet);
    changed();
}

void DetailPreviewController::setDetailShell(SnippetPtr snippet) {
    detailShellSnippet_ = std::move(snippet);
    changed();
}

void DetailPreviewController::publishContent(const std::string& snippetID, PreviewContent content) {
    previewContentSnippetID_ = snippetID;
    currentPreviewContent_ = std::move(content);
    changed();
}

void DetailPreviewController::clearContentFields() {
    previewContentSnippetID_.reset();
    currentPreviewContent_.reset();
    changed();
}

std::optional<DetailPreviewController::BranchMetadata>
DetailPreviewController::gitBranchMetadata(const std::string& snippetID) const {
    const auto found = gitBranchMetadata_.find(snippetID);
    return found == gitBranchMetadata_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<DetailPreviewController::FileMetadata>
DetailPreviewController::fileMetadata(const std::string& snippetID) const {
    const auto found = fileMetadata_.find(snippetID);
    return found == fileMetadata_.end() ? std::nullopt : std::optional(found->second);
}

void DetailPreviewController::clearMetadata() {
    const bool had = !gitBranchMetadata_.empty() || !fileMetadata_.empty() || !fileMetadataFailedAt_.empty();
    gitBranchMetadata_.clear();
    fileMetadata_.clear();
    fileMetadataFailedAt_.clear();
    if (had) {
        changed();
    }
}

void DetailPreviewController::publishDetailShell(const SnippetPtr& snippet) {
    if (!snippet || !hasPreviewableDetail(*snippet)) {
        setDetailShell(nullptr);
        return;
    }
    setDetailShell(snippet);
    if (onReserveDetailSlot) {
        onReserveDetailSlot(snippet);
    }
    if (snippet->source.kind() == SnippetSource::Kind::gitRef) {
        loadGitBranchMetadata(*snippet);
    } else if (snippet->source.kind() == SnippetSource::Kind::filePath) {
        loadFileMetadata(*snippet);
    }
}

void DetailPreviewController::feedPreview(const SnippetPtr& snippet, bool detailHasFocus,
                                          std::function<void(bool)> setDetailFocus,
                                          std::function<void(int)> setScrollPosition) {
    const MonotonicTime start = loaders_.clock.monotonicNow();
    cancel(debounceTask_);
    cancel(shellDwellTask_);
    cancel(idleAutoPreviewTask_);
    cancel(previewContentTask_);
    if (detailHasFocus && setDetailFocus) {
        setDetailFocus(false);
    }
    if (setScrollPosition) {
        setScrollPosition(0);
    }
    if (!snippet || !hasPreviewableDetail(*snippet)) {
        const bool any =
            detailShellSnippet_ || previewSnippet_ || previewContentSnippetID_ || currentPreviewContent_;
        detailShellSnippet_.reset();
        previewSnippet_.reset();
        previewContentSnippetID_.reset();
        currentPreviewContent_.reset();
        if (any) {
            changed();
        }
        return;
    }
    const double elapsedMs = secondsSince(start) * 1000.0;
    if (elapsedMs > feedLogThresholdMs) {
        performanceLog(logCategory, fmt::format("[FEED_PREVIEW] snippet={} elapsed={:.2f}ms",
                                                graphemePrefix(snippet->id, 40), elapsedMs));
    }
    if (const std::string* path = filePathOf(*snippet); path && !snippet->metadata->empty()) {
        if (auto cached = loaders_.previews->cachedContent(*path)) {
            publishDetailShell(snippet);
            previewSnippet_ = snippet;
            publishContent(snippet->id, std::move(*cached));
            debounceTask_ = startContentDebounce(snippet);
            return;
        }
    }
    shellDwellTask_ = after(nanosecondsToSeconds(timing_.shellDwellNs),
                            [snippet](DetailPreviewController& self, const CancellationToken&) {
                                self.publishDetailShell(snippet);
                            });
    debounceTask_ = startContentDebounce(snippet);
}

bool DetailPreviewController::navigatedRecently(MonotonicTime now) const {
    return lastNavEventTime_ &&
           std::chrono::duration<double>(now - *lastNavEventTime_).count() < timing_.navigationIdleThreshold;
}

DetailPreviewController::Task DetailPreviewController::startContentDebounce(const SnippetPtr& snippet) {
    return after(nanosecondsToSeconds(timing_.contentDebounceNs),
                 [snippet](DetailPreviewController& self, const CancellationToken&) {
                     const MonotonicTime now = self.loaders_.clock.monotonicNow();
                     if (!self.isNavigationBurstActive_ && !self.navigatedRecently(now)) {
                         self.loadPreviewContent(snippet);
                     } else {
                         self.pendingContentSnippet_ = snippet;
                         self.changed();
                     }
                 });
}

void DetailPreviewController::noteNavigationEvent() {
    lastNavEventTime_ = loaders_.clock.monotonicNow();
    isNavigationBurstActive_ = true;
    cancel(navIdleTask_);
    navIdleTask_ =
        after(timing_.navigationIdleThreshold, [](DetailPreviewController& self, const CancellationToken&) {
            self.navIdleTask_.reset();
            self.isNavigationBurstActive_ = false;
            self.commitPendingContent();
        });
}

void DetailPreviewController::commitPendingContent() {
    if (!pendingContentSnippet_) {
        return;
    }
    SnippetPtr pending = std::move(pendingContentSnippet_);
    pendingContentSnippet_.reset();
    if (!shouldCommitPending) {
        return;
    }
    // The burst's end fires exactly one threshold after the last key; a microsecond of slack keeps
    // clock rounding from dropping the load it exists for.
    const bool keysRested =
        !lastNavEventTime_ ||
        std::chrono::duration<double>(loaders_.clock.monotonicNow() - *lastNavEventTime_).count() >=
            timing_.navigationIdleThreshold - 1e-6;
    if (shouldCommitPending(*pending) && keysRested) {
        loadPreviewContent(pending);
    }
}

void DetailPreviewController::showDetailShell(const std::vector<SearchResult>& results, std::size_t index) {
    if (index >= results.size()) {
        setDetailShell(nullptr);
        return;
    }
    publishDetailShell(results[index].snippet);
}

void DetailPreviewController::scheduleIdleAutoPreview(const std::vector<SearchResult>& results,
                                                      std::size_t index, PopupMode mode) {
    if (index >= results.size()) {
        return;
    }
    const SnippetPtr snippet = results[index].snippet;
    if (!snippet || !hasPreviewableDetail(*snippet)) {
        return;
    }
    publishDetailShell(snippet);
    std::vector<std::string> ids;
    ids.reserve(results.size());
    for (const auto& result : results) {
        ids.push_back(result.snippet ? result.snippet->id : std::string());
    }
    idleAutoPreviewTask_ =
        after(nanosecondsToSeconds(timing_.idleAutoPreviewNs),
              [snippet, mode, index, ids = std::move(ids)](DetailPreviewController& self,
                                                           const CancellationToken&) {
                  if (mode != PopupMode::search || self.previewSnippet_ || index >= ids.size() ||
                      ids[index] != snippet->id || !hasPreviewableDetail(*snippet)) {
                      return;
                  }
                  self.publishDetailShell(snippet);
                  self.loadPreviewContent(snippet);
              });
}

void DetailPreviewController::cancelDebounceTask() {
    cancel(debounceTask_);
}

void DetailPreviewController::cancelScheduledPreviews() {
    cancel(idleAutoPreviewTask_);
    cancel(shellDwellTask_);
}

void DetailPreviewController::cancelAllTasks() {
    for (auto* task : {&debounceTask_, &shellDwellTask_, &idleAutoPreviewTask_, &gitMetadataTask_,
                       &previewContentTask_, &fileMetadataTask_, &navIdleTask_}) {
        cancel(*task);
    }
}

void DetailPreviewController::resetNavigationBurst() {
    cancel(navIdleTask_, true);
    const bool changedAny = isNavigationBurstActive_ || pendingContentSnippet_ || lastNavEventTime_;
    isNavigationBurstActive_ = false;
    pendingContentSnippet_.reset();
    lastNavEventTime_.reset();
    if (changedAny) {
        changed();
    }
}

void DetailPreviewController::clearPreview() {
    previewSnippet_.reset();
    detailShellSnippet_.reset();
    previewContentSnippetID_.reset();
    currentPreviewContent_.reset();
    changed();
}

void DetailPreviewController::reset() {
    cancelAllTasks();
    previewSnippet_.reset();
    detailShellSnippet_.reset();
    currentPreviewContent_.reset();
    previewContentSnippetID_.reset();
    gitBranchMetadata_.clear();
    fileMetadata_.clear();
    fileMetadataFailedAt_.clear();
    isNavigationBurstActive_ = false;
    pendingContentSnippet_.reset();
    lastNavEventTime_.reset();
    changed();
}

} // namespace korvane::detailpanel
