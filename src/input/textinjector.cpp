#include "input/textinjector.h"

#include "base/diagnostics.h"
#include "base/graphemescanner.h"
#include "input/injectiontext.h"
#include "platform/keycodes.h"

#include <fmt/format.h>

namespace korvane {
namespace {

// Ends a run of posted input however the job leaves it.
class InputRun {
public:
    explicit InputRun(KeySynthesizer& keys)
        : keys_(keys)
        , started_(keys.beginInput()) {}
    ~InputRun() {
        if (started_) {
            keys_.endInput();
        }
    }
    InputRun(const InputRun&) = delete;
    InputRun& operator=(const InputRun&) = delete;

    bool started() const { return started_; }

private:
    KeySynthesizer& keys_;
    bool started_;
};

} // namespace

TextInjector::TextInjector(Ports ports)
    : ports_(std::move(ports)) {}

TextInjector::Target TextInjector::resolveTarget(std::optional<std::int32_t> expectedPID,
                                                 std::optional<std::string> expectedBundleID,
                                                 std::optional<std::uint64_t> expectedWindow) const {
    Target target;
    // A caller that expects no application at all saw none in front: the edit may then run only while
    // there still is none, in the window it saw, rather than in whatever came forward meanwhile.
    if (expectedBundleID && expectedBundleID->empty() && !expectedPID) {
        target.bundleID = *expectedBundleID;
        target.window = expectedWindow;
        return target;
    }
    std::optional<FrontmostApplication> frontmost;
    if (!expectedPID || !expectedBundleID) {
        frontmost = ports_.activeApp->frontmostApplication();
    }
    target.bundleID = expectedBundleID ? *expectedBundleID : frontmost ? frontmost->bundleID : std::string();
    target.pid = expectedPID ? expectedPID : frontmost ? std::optional<std::int32_t>(frontmost->pid) : std::nullopt;
    target.window = expectedWindow ? expectedWindow : ports_.activeApp->activeWindowID();
    return target;
}

void TextInjector::inject(std::size_t deletionCount, const std::string& text,
                          std::optional<std::int32_t> expectedPID, std::optional<std::string> expectedBundleID,
                          std::optional<std::uint64_t> expectedWindow) {
    injectAsync(deletionCount, text, expectedPID, std::move(expectedBundleID), expectedWindow, {});
}

void TextInjector::injectAsync(std::size_t deletionCount, const std::string& text,
                               std::optional<std::int32_t> expectedPID, std::optional<std::string> expectedBundleID,
                               std::optional<std::uint64_t> expectedWindow, Completion completion) {
    Job job;
    InjectionText prepared = InjectionText::fromExpansion(text);
    if (prepared.removedControls > 0) {
        diagnostic("Removed " + std::to_string(prepared.removedControls) +
                   " control characters from the inserted text");
    }
    job.deletionCount = deletionCount;
    job.text = std::move(prepared.text);
    job.trailingText = std::move(prepared.trailingText);
    job.target = resolveTarget(expectedPID, std::move(expectedBundleID), expectedWindow);
    job.profile = ports_.profileForBundleID(job.target.bundleID);
    schedule(std::move(job), std::move(completion));
}

void TextInjector::deleteOnlyAsync(std::size_t count, std::optional<std::int32_t> expectedPID,
                                   std::optional<std::string> expectedBundleID,
                                   std::optional<std::uint64_t> expectedWindow, Completion completion) {
    if (count < 1) {
        if (completion) {
            ports_.mainScheduler->post([completion = std::move(completion)] { completion(true); });
        }
        return;
    }
    Job job;
    job.deleteOnly = true;
    job.deletionCount = count;
    job.target = resolveTarget(expectedPID, std::move(expectedBundleID), expectedWindow);
    job.profile = ports_.profileForBundleID(job.target.bundleID);
    schedule(std::move(job), std::move(completion));
}

void TextInjector::schedule(Job job, Completion completion) {
    std::weak_ptr<TextInjector> weak = weak_from_this();
    Scheduler* mainScheduler = ports_.mainScheduler;
    ports_.injectionQueue->enqueue([weak, mainScheduler, job = std::move(job), completion = std::move(completion)] {
        const std::shared_ptr<TextInjector> self = weak.lock();
        const bool result = self && self->run(job);
        if (completion && mainScheduler) {
            mainScheduler->post([completion, result] { completion(result); });
        }
    });
}

bool TextInjector::run(const Job& job) {
    return job.deleteOnly ? runDeletion(job) : runInjection(job);
}

bool TextInjector::targetIsFrontmost(const Target& target) {
    std::optional<FrontmostApplication> frontmost;
    std::optional<std::uint64_t> window;
    const bool answered = ports_.mainThread->runSync([&] {
        frontmost = ports_.activeApp->frontmostApplication();
        window = ports_.activeApp->activeWindowID();
    });
    if (!answered) {
        return false;
    }
    const std::optional<std::int32_t> pid = frontmost ? std::optional<std::int32_t>(frontmost->pid) : std::nullopt;
    // Windows are compared too: a window without a process property reports no process, and two
    // such windows must not pass for one.
    return pid == target.pid && window == target.window;
}

bool TextInjector::runInjection(const Job& job) {
    if (!targetIsFrontmost(job.target)) {
        diagnostic("Injection aborted: target app changed");
        return false;
    }
    if (job.profile.strategy == InjectionStrategy::ax) {
        const auto outcome = onMainThread([&] {
            return AccessibleReplacement::replace(*ports_.accessibleText, job.target.pid, job.deletionCount,
                                                  job.text, job.trailingText);
        });
        if (outcome != AccessibleReplacement::Outcome::unchanged) {
            return outcome == AccessibleReplacement::Outcome::done;
        }
    }
    InputRun input(*ports_.keys);
    if (!input.started()) {
        return false;
    }
    postBackspaces(job.deletionCount);
    if (job.deletionCount > 0 && job.profile.phaseGapDelay != 0 && !job.text.empty()) {
        pause(job.profile.phaseGapDelay);
    }
    if (job.profile.strategy == InjectionStrategy::clipboard) {
        paste(job);
    } else {
        typeInChunks(job.text, job.profile);
    }
    if (!job.trailingText.empty()) {
        pause(static_cast<std::uint32_t>(caretMoveDelay.count()));
        moveCaretBack(job.trailingText);
    }
    return true;
}

AccessibleReplacement::Outcome TextInjector::onMainThread(
    const std::function<AccessibleReplacement::Outcome()>& edit) {
    // An edit the main thread never got to may still run later, so the element counts as touched.
    auto outcome = AccessibleReplacement::Outcome::damaged;
    if (!ports_.mainThread->runSync([&] { outcome = edit(); })) {
        return AccessibleReplacement::Outcome::damaged;
    }
    return outcome;
}

bool TextInjector::runDeletion(const Job& job) {
    if (!targetIsFrontmost(job.target)) {
        diagnostic("Deletion aborted: target app changed");
        return false;
    }
    if (job.profile.strategy == InjectionStrategy::ax) {
        const auto outcome = onMainThread([&] {
            return AccessibleReplacement::deleteBackward(*ports_.accessibleText, job.target.pid, job.deletionCount);
        });
        if (outcome != AccessibleReplacement::Outcome::unchanged) {
            return outcome == AccessibleReplacement::Outcome::done;
        }
    }
    InputRun input(*ports_.keys);
    if (!input.started()) {
        return false;
    }
    postBackspaces(job.deletionCount);
    return true;
}

void TextInjector::postBackspaces(std::size_t count) {
    // Editors remove a whole character (grapheme cluster) per Backspace, so the count needs no
    // conversion here.
    for (std::size_t i = 0; i < count; ++i) {
        ports_.keys->postKeyPair(keycode::backspace, 0);
    }
}

void TextInjector::paste(const Job& job) {
    const PasteShortcut shortcut = ports_.pasteShortcutForBundleID(job.target.bundleID);
    std::optional<std::vector<PasteboardItem>> snapshot;
    bool tooLarge = false;
    bool didSet = false;
    std::uint64_t changeCount = 0;
    const bool answered = ports_.mainThread->runSync([&] {
        snapshot = snapshotPasteboard(*ports_.pasteboard);
        if (!snapshot) {
            // Replacing a clipboard that cannot be put back would cost the user its contents.
            tooLarge = true;
            return;
        }
        didSet = ports_.pasteboard->replaceWithString(job.text);
        changeCount = ports_.pasteboard->changeCount();
    });
    if (!answered || tooLarge) {
        typeInChunks(job.text, job.profile);
        return;
    }
    if (didSet) {
        ports_.keys->postKeyPair(shortcut.virtualKey, shortcut.flags);
        restoreOnceTaken(job.profile, *snapshot, changeCount);
        return;
    }
    ports_.mainThread->runSync([&] { restorePasteboard(*ports_.pasteboard, *snapshot, changeCount); });
    diagnostic("Clipboard injection failed, falling back to chunked CGEvent");
    typeInChunks(job.text, job.profile);
}

// The target asks for the text only when it handles the paste key, which a busy one does late, and
// may ask more than once for one paste (a terminal that looks at the text before pasting it). The
// old clipboard goes back after the profile's delay once the text has been taken and no further ask
// has come for a while; at once when someone else has replaced it (restorePasteboard then leaves
// it); at the limit whatever the target did. Checked and restored in one main-thread step.
void TextInjector::restoreOnceTaken(const AppProfile& profile, const std::vector<PasteboardItem>& snapshot,
                                    std::uint64_t changeCount) {
    std::chrono::microseconds wait{profile.clipboardRestoreDelay};
    std::chrono::microseconds waited{0};
    for (;;) {
        pause(static_cast<std::uint32_t>(wait.count()));
        waited += wait;
        const bool late = waited >= pasteTakeLimit;
        std::optional<std::chrono::microseconds> since;
        bool restored = false;
        const bool answered = ports_.mainThread->runSync([&] {
            since = ports_.pasteboard->sinceTextTaken();
            const bool replaced = ports_.pasteboard->changeCount() != changeCount;
            if (late || replaced || (since && *since >= pasteQuietTime)) {
                restorePasteboard(*ports_.pasteboard, snapshot, changeCount);
                restored = true;
            }
        });
        if (late && answered && !since) {
            diagnostic(fmt::format("Pasted text not taken within {} ms, clipboard restored anyway",
                                   pasteTakeLimit.count() / 1000));
        }
        if (!answered || restored) {
            return;
        }
        wait = since ? pasteQuietTime - *since : pasteTakeCheck;
    }
}

void TextInjector::typeInChunks(const std::string& text, const AppProfile& profile) {
    const std::vector<std::string> chunks = InjectionText::typingChunks(text, profile.chunkSize);
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        ports_.keys->postText(chunks[i]);
        if (profile.interChunkDelay != 0 && i + 1 < chunks.size()) {
            pause(profile.interChunkDelay);
        }
    }
}

void TextInjector::moveCaretBack(const std::string& trailingText) {
    // One Left per character, line breaks included: Up would keep the column and land elsewhere.
    GraphemeScanner scanner;
    const std::size_t characters = scanner.clusterCount(trailingText);
    for (std::size_t i = 0; i < characters; ++i) {
        ports_.keys->postKeyPair(keycode::leftArrow, 0);
    }
}

void TextInjector::pause(std::uint32_t microseconds) {
    ports_.sleeper->sleep(std::chrono::microseconds(microseconds));
}

std::optional<std::vector<TextInjector::PasteboardItem>> TextInjector::snapshotPasteboard(const Pasteboard& pasteboard) {
    std::vector<PasteboardItem> items;
    std::size_t total = 0;
    const std::vector<std::vector<std::string>> itemTypes = pasteboard.itemTypes();
    for (std::size_t index = 0; index < itemTypes.size(); ++index) {
        PasteboardItem item;
        item.types = itemTypes[index];
        for (const std::string& type : itemTypes[index]) {
            std::optional<std::string> bytes = pasteboard.data(index, type);
            if (!bytes) {
                continue;
            }
            total += bytes->size();
            // Checked after each format: on X11 every format is a transfer of its own, and one
            // item can hold them all.
            if (total > snapshotSizeLimit) {
                diagnostic(fmt::format("Clipboard snapshot too large ({} bytes), skipping restore", total));
                return std::nullopt;
            }
            item.dataByType.emplace_back(type, std::move(*bytes));
        }
        if (!item.dataByType.empty()) {
            items.push_back(std::move(item));
        }
    }
    return items;
}

void TextInjector::restorePasteboard(Pasteboard& pasteboard, const std::vector<PasteboardItem>& snapshot,
                                     std::uint64_t changeCount) {
    if (pasteboard.changeCount() != changeCount) {
        return;
    }
    pasteboard.replaceWithItems(snapshot);
}

} // namespace korvane
