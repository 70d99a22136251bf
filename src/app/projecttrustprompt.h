#pragma once

#include "config/projecttruststore.h"

#include <string>

namespace korvane {

// The confirmation shown before a project is trusted: which commands will run, which of the user's
// snippet keys the project's own snippets will replace and which of its snippets insert line breaks,
// so that trust is given knowingly. Plain value.
struct ProjectTrustPrompt {
    static constexpr const char* title = "Trust This Project?";
    static constexpr const char* acceptLabel = "Trust";

    static std::string message(const ProjectTrustRequest& request);
};

} // namespace korvane
