#include "app/projecttrustprompt.h"

#include <vector>

namespace korvane {
namespace {

void appendList(std::string& text, const char* heading, const std::vector<std::string>& items) {
    if (items.empty()) {
        return;
    }
    text += "\n\n";
    text += heading;
    for (const auto& item : items) {
        text += "\n    " + item;
    }
}

} // namespace

std::string ProjectTrustPrompt::message(const ProjectTrustRequest& request) {
    std::string text = "The project '" + request.projectRoot + "' asks for trust.";
    appendList(text, "Commands it will run:", request.commands);
    appendList(text, "Snippets of yours it will replace:", request.overridingKeys);
    appendList(text, "Snippets with line breaks it will insert:", request.lineBreakKeys);
    appendList(text, "Snippets with links other than web and mail it will open:", request.linkKeys);
    text += "\n\nTrust covers exactly this text, not the scripts or programs the commands call.";
    return text;
}

} // namespace korvane
