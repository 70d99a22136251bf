#include "app/projecttrustprompt.h"

namespace korvane {

std::string ProjectTrustPrompt::message(const ProjectTrustRequest& request) {
    std::string text = "The project '" + request.projectRoot + "' asks for trust.";
    if (!request.commands.empty()) {
        text += "\n\nCommands it will run:";
        for (const auto& command : request.commands) {
            text += "\n    " + command;
        }
    }
    if (!request.overridingKeys.empty()) {
        text += "\n\nSnippets of yours it will replace:";
        for (const auto& key : request.overridingKeys) {
            text += "\n    " + key;
        }
    }
    text += "\n\nTrust covers exactly this text, not the scripts or programs the commands call.";
    return text;
}

} // namespace korvane
