#pragma once

#include "base/expected.h"
#include "base/visibletext.h"
#include "config/projecttruststore.h"

#include <cstddef>
#include <optional>
#include <string>

namespace korvane {

// The confirmations shown before something the user did not write is trusted: a project's file (which
// commands will run, which of the user's snippet keys the project's own snippets will replace, which of
// its snippets insert line breaks and which open other links, each with the text or address it brings)
// or a folder itself (what trusting it changes), so that trust is given knowingly. Everything that came
// from the project is shown whole, as VisibleText; a project that asks for more than can be shown is not
// asked about at all. Plain value.
struct ProjectTrustPrompt {
    static constexpr const char* title = "Trust This Project?";
    static constexpr const char* folderTitle = "Trust This Folder?";
    static constexpr const char* acceptLabel = "Trust";
    // The title of the box that says why a project is not offered for trust.
    static constexpr const char* refusedTitle = "Too Much to Show";
    // A command, a snippet's text or a link's address wraps at this many shown characters.
    static constexpr std::size_t contentWidth = 80;
    // The most a question shows, in characters of its text (an escape counting for each of its own).
    // More is more than anyone checks in a box, and a box showing part of it would trust the rest unseen.
    static constexpr std::size_t maxShownCharacters = 50'000;
    // The most lines the reason a folder's commands wait takes in the folder's question.
    static constexpr std::size_t waitingReasonLines = 6;

    // The question for `request`, every text and address it covers shown whole; or, when that would
    // take more than `maxShownCharacters`, why the project is not offered for trust.
    static Expected<std::string, std::string> message(const ProjectTrustRequest& request);
    static std::string folderMessage(const std::string& folder);
    // The same, ending with what keeps the user's commands waiting for that trust now.
    static std::string folderMessage(const std::string& folder,
                                     const std::optional<std::string>& waitingReason);
};

} // namespace korvane
