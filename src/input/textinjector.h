#pragma once

#include "base/scheduler.h"
#include "base/serialexecutor.h"
#include "input/accessiblereplacement.h"
#include "input/appprofile.h"
#include "input/pasteshortcut.h"
#include "platform/accessibletext.h"
#include "platform/activeappprovider.h"
#include "platform/keysynthesizer.h"
#include "platform/mainthreadcaller.h"
#include "platform/pasteboard.h"
#include "platform/sleeper.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Replaces what the user typed for a completion (trigger and query) in the focused application
// with the chosen text, or only deletes it: through the accessibility interface, or by posting
// Backspace and pasting or typing. Jobs run one at a time in order on the injection queue and
// reach the main thread only for its short platform steps. Entries are called on the main thread;
// hold the injector in a std::shared_ptr (queued jobs refer to it weakly).
class TextInjector : public std::enable_shared_from_this<TextInjector> {
public:
    using PasteboardItem = korvane::PasteboardItem;
    using Completion = std::function<void(bool)>;

    // A clipboard holding more than this is neither saved nor replaced: the text is typed instead.
    static constexpr std::size_t snapshotSizeLimit = 4194304;
    static constexpr std::chrono::microseconds caretMoveDelay{1000};
    // How long a pasting target may take to ask for the text before the old clipboard goes back
    // anyway, counted from the paste key; how long no further ask must have come after the last
    // (a target asking again does so at once); and how often a first ask is looked for.
    static constexpr std::chrono::microseconds pasteTakeLimit{3000000};
    static constexpr std::chrono::microseconds pasteQuietTime{25000};
    static constexpr std::chrono::microseconds pasteTakeCheck{5000};

    struct Ports {
        std::shared_ptr<SerialExecutor> injectionQueue;
        std::shared_ptr<MainThreadCaller> mainThread;
        // Where completions are delivered.
        Scheduler* mainScheduler = nullptr;
        std::shared_ptr<ActiveAppProvider> activeApp;
        std::function<AppProfile(const std::string& bundleID)> profileForBundleID;
        std::function<PasteShortcut(const std::string& bundleID)> pasteShortcutForBundleID;
        std::shared_ptr<AccessibleText> accessibleText;
        std::shared_ptr<KeySynthesizer> keys;
        std::shared_ptr<Pasteboard> pasteboard;
        std::shared_ptr<Sleeper> sleeper;
    };

    explicit TextInjector(Ports ports);

    // Replaces the `deletionCount` characters before the caret with `text`, whose first "$0" marks
    // where the caret ends. The target is the application (and its window) that had the focus when
    // the session began; absent parts are taken from the focus now. Fire and forget.
    void inject(std::size_t deletionCount, const std::string& text, std::optional<std::int32_t> expectedPID,
                std::optional<std::string> expectedBundleID, std::optional<std::uint64_t> expectedWindow = {});

    // The same; `completion` gets the job's result on the main thread.
    void injectAsync(std::size_t deletionCount, const std::string& text, std::optional<std::int32_t> expectedPID,
                     std::optional<std::string> expectedBundleID, std::optional<std::uint64_t> expectedWindow,
                     Completion completion);

    // Deletes the `count` characters before the caret and inserts nothing.
    void deleteOnlyAsync(std::size_t count, std::optional<std::int32_t> expectedPID,
                         std::optional<std::string> expectedBundleID, std::optional<std::uint64_t> expectedWindow,
                         Completion completion);

    // Reads every format of every item, checking the running total after each format; absent (and
    // the line printed) past snapshotSizeLimit. Main thread.
    static std::optional<std::vector<PasteboardItem>> snapshotPasteboard(const Pasteboard& pasteboard);
    // Writes the snapshot back unless someone changed the clipboard since `changeCount`. Main thread.
    static void restorePasteboard(Pasteboard& pasteboard, const std::vector<PasteboardItem>& snapshot,
                                  std::uint64_t changeCount);

private:
    struct Target {
        std::optional<std::int32_t> pid;
        std::string bundleID;
        std::optional<std::uint64_t> window;
    };
    struct Job {
        bool deleteOnly = false;
        std::size_t deletionCount = 0;
        std::string text;
        std::string trailingText;
        Target target;
        AppProfile profile;
    };

    Target resolveTarget(std::optional<std::int32_t> expectedPID, std::optional<std::string> expectedBundleID,
                         std::optional<std::uint64_t> expectedWindow) const;
    void schedule(Job job, Completion completion);
    bool run(const Job& job);
    bool runInjection(const Job& job);
    bool runDeletion(const Job& job);
    bool targetIsFrontmost(const Target& target);
    // Runs an accessibility edit on the main thread; an edit that never got an answer counts as damaged.
    AccessibleReplacement::Outcome onMainThread(const std::function<AccessibleReplacement::Outcome()>& edit);
    void postBackspaces(std::size_t count);
    void paste(const Job& job);
    void restoreOnceTaken(const AppProfile& profile, const std::vector<PasteboardItem>& snapshot,
                          std::uint64_t changeCount);
    void typeInChunks(const std::string& text, const AppProfile& profile);
    void moveCaretBack(const std::string& trailingText);
    void pause(std::uint32_t microseconds);

    Ports ports_;
};

} // namespace korvane
