#include "app/projecttrustprompt.h"

#include "base/visibletext.h"
#include "config/configpaths.h"

#include <algorithm>
#include <vector>

namespace korvane {
namespace {

void appendLines(std::string& text, const std::string& indent, const std::string& content) {
    for (const auto& line : VisibleText::lines(content, ProjectTrustPrompt::contentWidth)) {
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
        text += "\n    " + VisibleText::line(keys[i]);
        appendLines(text, "        ", i < contents.size() ? contents[i] : std::string());
    }
}

// Characters, not bytes: what VisibleText writes is UTF-8 throughout.
std::size_t characterCount(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char byte) { return (byte & 0xC0) != 0x80; }));
}

// The folder goes last, wrapped: the box that shows this wraps only between words.
std::string refusal(const ProjectTrustRequest& request, std::size_t characters) {
    std::string text =
        "This project asks to trust more than Korvane can show you in one box: showing all it asks for "
        "takes " +
        std::to_string(characters) + " characters, and the box shows at most " +
        std::to_string(ProjectTrustPrompt::maxShownCharacters) +
        ". Korvane does not offer to trust what it cannot show you whole, so the project's commands do not "
        "run and its snippets that wait for trust stay off.\n\nRead its " +
        kProjectConfigFileName +
        " yourself. To use the project here, shorten that file to fewer or shorter commands and snippets, or "
        "copy what you need into your own config.json.\n\nThe project's folder:";
    appendLines(text, "    ", request.projectRoot);
    return text;
}

} // namespace

Expected<std::string, std::string> ProjectTrustPrompt::message(const ProjectTrustRequest& request) {
    std::string text = "The project '" + VisibleText::line(request.projectRoot) + "' asks for trust.";
    appendCommands(text, request.commands);
    appendSnippets(text, "Snippets of yours it will replace:", request.overridingKeys,
                   request.overridingContents);
    appendSnippets(text, "Snippets with line breaks it will insert:", request.lineBreakKeys,
                   request.lineBreakContents);
    appendSnippets(text, "Snippets with links other than web and mail it will open:", request.linkKeys,
                   request.linkContents);
    text += "\n\nTrust covers exactly this text, not the scripts or programs the commands call. It also "
            "trusts the folder: your own commands run there with its repository's whole git configuration, "
            "hooks and filters included.";
    if (const std::size_t characters = characterCount(text); characters > maxShownCharacters) {
        return makeUnexpected(refusal(request, characters));
    }
    return text;
}

std::string ProjectTrustPrompt::folderMessage(const std::string& folder) {
    return "Trust the folder '" + VisibleText::line(folder) +
           "'?\n\nYour own commands (the custom providers of your config.json) will run there with the "
           "repository's own configuration: its hooks, filters, aliases, diff and merge drivers and the "
           "other programs it names. Until then they run there only while the configuration of the "
           "repository and of its submodules holds nothing but settings that start no program, and even "
           "then without the hooks that came with it.\n\n"
           "Trust a folder only when you wrote its repository's configuration or checked it. Korvane's own "
           "git runs stay hardened, and a .korvane.json in the folder that asks for trust is still asked "
           "about on its own.";
}

// Shown whole as far as a few lines go: the reason names a file and a setting the folder wrote.
std::string ProjectTrustPrompt::folderMessage(const std::string& folder,
                                              const std::optional<std::string>& waitingReason) {
    std::string text = folderMessage(folder);
    if (waitingReason) {
        text += "\n\nWhat keeps your own commands from running there now:";
        for (const auto& line :
             VisibleText::lines(*waitingReason, VisibleText::Limits{.lines = waitingReasonLines,
                                                .width = contentWidth,
                                                .betweenWords = true})) {
            text += "\n    " + line;
        }
    }
    return text;
}

} // namespace korvane
