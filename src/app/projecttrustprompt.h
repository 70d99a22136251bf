#pragma once

#include "base/visibletext.h"
#include "config/projecttruststore.h"

#include <cstddef>
#include <string>

namespace korvane {

// The confirmations shown before something the user did not write is trusted: a project's file (which
// commands will run, which of the user's snippet keys the project's own snippets will replace, which of
// its snippets insert line breaks and which open other links, each with the text or address it brings)
// or a folder itself (what trusting it changes), so that trust is given knowingly. Everything that came
// from the project is shown as VisibleText, bounded. Plain value.
struct ProjectTrustPrompt {
    static constexpr const char* title = "Trust This Project?";
    static constexpr const char* folderTitle = "Trust This Folder?";
    static constexpr const char* acceptLabel = "Trust";
    // A command, a snippet's text or a link's address: its first lines, wrapped.
    static constexpr VisibleText::Limits contentLimits{6, 80};
    // A project root or a snippet key.
    static constexpr std::size_t nameWidth = 200;

    static std::string message(const ProjectTrustRequest& request);
    static std::string folderMessage(const std::string& folder);
};

} // namespace korvane
