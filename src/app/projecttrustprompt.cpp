#include "app/projecttrustprompt.h"

#include <vector>

namespace korvane {
namespace {

void appendLines(std::string& text, const std::string& indent, const std::string& content) {
    for (const auto& line : VisibleText::lines(content, ProjectTrustPrompt::contentLimits)) {
        text += "\n" + indent + line;
    }
}

void appendCommands(std::string& text, const std::vector<std::string>& commands) {
    if (commands.empty()) {
        return;
    }
    text += "\n\nCommands it will run:";
    for (const auto& command : commands) {
        appendLines(text, "    ", command);
    }
}

// Each snippet's key, and below it what the snippet inserts or opens.
void appendSnippets(std::string& text, const char* heading, const std::vector<std::string>& keys,
                    const std::vector<std::string>& contents) {
    if (keys.empty()) {
        return;
    }
    text += "\n\n";
    text += heading;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        text += "\n    " + VisibleText::line(keys[i], ProjectTrustPrompt::nameWidth);
        appendLines(text, "        ", i < contents.size() ? contents[i] : std::string());
    }
}

} // namespace

std::string ProjectTrustPrompt::message(const ProjectTrustRequest& request) {
    std::string text =
        "The project '" + VisibleText::line(request.projectRoot, nameWidth) + "' asks for trust.";
    appendCommands(text, request.commands);
    appendSnippets(text, "Snippets of yours it will replace:", request.overridingKeys,
                   request.overridingContents);
    appendSnippets(text, "Snippets with line breaks it will insert:", request.lineBreakKeys,
                   request.lineBreakContents);
    appendSnippets(text, "Snippets with links other than web and mail it will open:", request.linkKeys,
                   request.linkContents);
    text += "\n\nTrust covers exactly this text, not the scripts or programs the commands call.";
    return text;
}

std::string ProjectTrustPrompt::folderMessage(const std::string& folder) {
    return "Trust the folder '" + VisibleText::line(folder, nameWidth) +
           "'?\n\nYour own commands (the custom providers of your config.json) will run there with the "
           "repository's own configuration: its hooks, filters, aliases, diff and merge drivers and the "
           "other programs it names. Until then git started by them runs with those switched off.\n\n"
           "Trust a folder only when you wrote its repository's configuration or checked it. Korvane's own "
           "git runs stay hardened, and a .korvane.json in the folder that asks for trust is still asked "
           "about on its own.";
}

} // namespace korvane
