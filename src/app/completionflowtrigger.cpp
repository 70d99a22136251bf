// The completion flow at the trigger: the project of the application typed in, detected before the
// session begins, and looked at again while no tab had read the trigger's keys. Main thread.
#include "app/completionflow.h"

#include <variant>

namespace korvane {

void CompletionFlow::handleTriggerActivated() {
    // The key tap sees keys typed into password fields too: no session opens over one, and what the
    // detector collected there is dropped.
    if (parts_.secureInput && parts_.secureInput->isSecureInputEnabled()) {
        parts_.triggerDetector->reset();
        return;
    }
    const auto front = frontmost();
    // A session ends when the frontmost application changes, so what is in front now holds for it.
    sessionFrontmost_ = front;
    std::string bundleID = front ? front->bundleID : std::string();
    std::optional<std::string> root;
    const bool ownWindow = front && front->pid == parts_.ownPid;
    const auto captured = ownWindow && onboardingContext ? onboardingContext() : std::nullopt;
    if (captured) {
        root = captured->projectRoot;
        bundleID = captured->bundleID;
    } else {
        // A terminal's shell may have changed folder since its window came forward: the project is
        // detected before the session begins, so that this very popup opens over a new project (the
        // rest of that change follows its first frame). For a terminal only its own processes are read,
        // well within the first frame, and the tab that read the trigger's keys is the user's; inside
        // tmux its server is also asked which pane the client shows, and inside screen its session which
        // window the display shows, a few milliseconds each, waited for at most ServerQuestions::waitLimit,
        // and not at all for a server that let that pass before and has not answered since.
        detectAtTrigger(front);
        root = parts_.projectDetector.currentProjectRoot();
    }
    beginSessionOver(root, bundleID);
    if (!captured) {
        retryWhileKeysUnread(keysUnreadRetries);
    }
}

void CompletionFlow::detectAtTrigger(const std::optional<FrontmostApplication>& front) {
    detectingAtTrigger_ = true;
    parts_.projectDetector.detectProjectRoot(front, true);
    detectingAtTrigger_ = false;
}

void CompletionFlow::beginSessionOver(const std::optional<std::string>& root, const std::string& bundleID) {
    executeCommands(sessionEngine_.beginSession(root));
    const auto current = currentRoot();
    if (parts_.configManager.shouldUpdateManualSnippets(bundleID, current)) {
        parts_.registry->updateSnippets(SnippetSource::manual(),
                                        parts_.configManager.mergedManualSnippets(bundleID, current));
    }
}

// The main thread is not held: the popup opens over what the first look found (no project where it
// could not tell), and a later look that tells the tab moves it to that tab's project.
void CompletionFlow::retryWhileKeysUnread(int retriesLeft) {
    const auto* open = std::get_if<CompletionSessionEngine::ActiveSession>(&sessionEngine_.state());
    if (retriesLeft <= 0 || !open || !parts_.projectDetector.triggerKeysUnread()) {
        return;
    }
    std::weak_ptr<CompletionFlow> weak = weak_from_this();
    parts_.scheduler.postAfter(keysUnreadRetryDelay, [weak, session = open->id, retriesLeft] {
        if (auto self = weak.lock()) {
            self->detectAgainAtTrigger(session, retriesLeft - 1);
        }
    });
}

void CompletionFlow::detectAgainAtTrigger(std::uint64_t session, int retriesLeft) {
    const auto* open = std::get_if<CompletionSessionEngine::ActiveSession>(&sessionEngine_.state());
    if (!open || open->id != session) {
        return;
    }
    const std::optional<std::string> pinned = open->pinnedRoot;
    detectAtTrigger(sessionFrontmost_);
    const auto root = parts_.projectDetector.currentProjectRoot();
    if (root != pinned) {
        const std::string query = open->query;
        detectingAtTrigger_ = true;
        beginSessionOver(root, sessionFrontmost_ ? sessionFrontmost_->bundleID : std::string());
        detectingAtTrigger_ = false;
        if (sessionEngine_.setQuery(query)) {
            executeCommands({CompletionSessionEngine::RunSearch{query}});
        }
        return;
    }
    retryWhileKeysUnread(retriesLeft);
}

} // namespace korvane
