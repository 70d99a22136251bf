#pragma once

#include "model/searchresult.h"
#include "model/snippet.h"
#include "popup/popupmode.h"
#include "popup/previewcontent.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The loader behind the popup's detail panel: it follows the selection, shows a detail shell and
// loads previews and metadata with its delays. The popup view model owns one and drives it through
// these operations; the detail subsystem implements it. Main thread only.
class DetailPreviewController {
public:
    using SnippetPtr = std::shared_ptr<const Snippet>;
    using BranchMetadata = std::map<std::string, std::string>;
    // Size and modification date of the file behind a file result.
    struct FileMetadata {
        std::uint64_t size = 0;
        std::chrono::system_clock::time_point modifiedDate;
        bool operator==(const FileMetadata&) const = default;
    };

    virtual ~DetailPreviewController() = default;

    // Installed by the view model; each holds the view model weakly.
    // Called with the snippet whose detail is shown in search mode, so the popup keeps the column.
    std::function<void(const SnippetPtr&)> onReserveDetailSlot;
    // The root of the current project, for resolving file-backed items.
    std::function<std::optional<std::string>()> projectRoot;
    // Called when the detail's size may have changed.
    std::function<void()> onLayoutChanged;
    // Asked before a pending preview is committed: whether that snippet is still the selected one.
    std::function<bool(const Snippet&)> shouldCommitPending;
    // Called after any field the detail column draws from has changed.
    std::function<void()> onChanged;

    // The preview shown now and the id of the snippet it belongs to.
    virtual std::optional<PreviewContent> currentPreviewContent() const = 0;
    virtual std::optional<std::string> previewContentSnippetID() const = 0;
    // The snippet whose preview is shown, and the one whose detail shell is shown.
    virtual SnippetPtr previewSnippet() const = 0;
    virtual void setPreviewSnippet(SnippetPtr snippet) = 0;
    virtual SnippetPtr detailShellSnippet() const = 0;
    // The branch figures ("ahead", "behind", "default_branch") and the file metadata loaded for a
    // snippet id, none while not (yet) loaded.
    virtual std::optional<BranchMetadata> gitBranchMetadata(const std::string& snippetID) const = 0;
    virtual std::optional<FileMetadata> fileMetadata(const std::string& snippetID) const = 0;
    // Empties the branch figures, the file metadata and the failure times (memory pressure).
    virtual void clearMetadata() = 0;
    // An arrow key is about to move the selection in search mode: loads wait until the keys rest.
    virtual void noteNavigationEvent() = 0;
    // Cancels the pending content debounce.
    virtual void cancelDebounceTask() = 0;

    // Cancels the idle auto-preview and the shell dwell; the preview already shown stays.
    virtual void cancelScheduledPreviews() = 0;
    // Cancels every pending task.
    virtual void cancelAllTasks() = 0;
    // Ends the current navigation burst: its idle task, its flag, the pending content snippet.
    virtual void resetNavigationBurst() = 0;
    // Forgets the preview snippet, the shell snippet and the preview content.
    virtual void clearPreview() = 0;
    // Cancels everything and empties every preview field and metadata cache.
    virtual void reset() = 0;
    // Follows a selection change. May move the focus back to the list (`setDetailFocus(false)`)
    // and reset the detail's scroll position.
    virtual void feedPreview(const SnippetPtr& snippet, bool detailHasFocus,
                             std::function<void(bool)> setDetailFocus,
                             std::function<void(int)> setScrollPosition) = 0;
    // Shows the detail shell of `results[index]` at once; none when the index is out of range.
    virtual void showDetailShell(const std::vector<SearchResult>& results, std::size_t index) = 0;
    // Arms the idle auto-preview of `results[index]`.
    virtual void scheduleIdleAutoPreview(const std::vector<SearchResult>& results, std::size_t index,
                                         PopupMode mode) = 0;
};

} // namespace korvane
