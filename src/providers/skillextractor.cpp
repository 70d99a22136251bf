#include "providers/skillextractor.h"

#include "base/fileio.h"
#include "base/unicode.h"
#include "providers/filescanner.h"
#include "providers/providertext.h"

#include <array>
#include <string>

namespace korvane {
namespace {

constexpr std::string_view fileName = "SKILL.md";
constexpr std::array<std::string_view, 3> skillFolders{".claude/skills/", ".codex/skills/", "agents/skills/"};
constexpr std::array<std::string_view, 4> meaninglessFolders{"skills", "claude", ".", ".."};

// The value after "key:" with blanks and then any run of quote characters cut from both ends; an
// empty value is none.
std::optional<std::string> frontMatterValue(std::string_view rest) {
    std::string_view value = trimmedBlanks(rest);
    const auto isQuote = [](char c) { return c == '"' || c == '\''; };
    while (!value.empty() && isQuote(value.front())) {
        value.remove_prefix(1);
    }
    while (!value.empty() && isQuote(value.back())) {
        value.remove_suffix(1);
    }
    if (value.empty()) {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace

SkillExtractor::SkillExtractor(SnippetSource source)
    : source_(std::move(source)) {}

bool SkillExtractor::matches(std::string_view name, std::string_view relativePath) const {
    if (name != fileName) {
        return false;
    }
    for (const std::string_view folder : skillFolders) {
        if (relativePath.find(folder) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

std::vector<Snippet> SkillExtractor::extract(const std::filesystem::path& file) const {
    if (auto snippet = parseSkillFile(file)) {
        return {std::move(*snippet)};
    }
    return {};
}

std::optional<Snippet> SkillExtractor::fallbackSnippet(const std::filesystem::path& file) {
    const std::string folder = file.parent_path().filename().string();
    if (folder.empty() || !isValidUtf8(folder)) {
        return std::nullopt;
    }
    for (const std::string_view meaningless : meaninglessFolders) {
        if (folder == meaningless) {
            return std::nullopt;
        }
    }
    Snippet snippet;
    snippet.id = "skill:" + folder;
    snippet.label = folder;
    snippet.expansion = folder;
    snippet.source = SnippetSource::claudeSkill();
    return snippet;
}

std::optional<Snippet> SkillExtractor::parseSkillFile(const std::filesystem::path& file) {
    const auto text = readTextFile(file, FileScanner::sizeLimit);
    if (!text || !isValidUtf8(*text)) {
        return fallbackSnippet(file);
    }
    const auto lines = providerLines(*text);
    if (lines.empty() || trimmedBlanks(lines.front()) != "---") {
        return fallbackSnippet(file);
    }
    std::optional<std::string> name;
    std::optional<std::string> description;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = trimmedBlanks(lines[i]);
        if (line == "---") {
            break;
        }
        if (line.starts_with("name:")) {
            name = frontMatterValue(line.substr(5));
        } else if (line.starts_with("description:")) {
            description = frontMatterValue(line.substr(12));
        }
    }
    if (!name) {
        return fallbackSnippet(file);
    }
    Snippet snippet;
    snippet.id = "skill:" + *name;
    snippet.label = *name;
    snippet.expansion = *name;
    snippet.source = SnippetSource::claudeSkill();
    snippet.description = std::move(description);
    snippet.metadata = std::map<std::string, std::string>{{"filePath", file.string()}};
    return snippet;
}

} // namespace korvane
