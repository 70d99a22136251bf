#include "providers/projectdocextractor.h"

#include "base/fileio.h"
#include "base/unicode.h"
#include "providers/filescanner.h"
#include "providers/providertext.h"

#include <algorithm>
#include <utility>

namespace korvane {

ProjectDocExtractor::ProjectDocExtractor(SnippetSource source)
    : source_(std::move(source)) {}

bool ProjectDocExtractor::matches(std::string_view fileName, std::string_view relativePath) const {
    if (relativePath != fileName) {
        return false;
    }
    if (std::find(documentNames.begin(), documentNames.end(), fileName) != documentNames.end()) {
        return true;
    }
    // Only ASCII capitals lower-case to these letters, so a name of another length never matches and
    // the scan of a large listing lower-cases almost nothing.
    return fileName.size() == 9 && lowercased(fileName) == "readme.md";
}

std::optional<std::string> ProjectDocExtractor::summary(const std::filesystem::path& file) {
    const auto text = readTextFile(file, FileScanner::sizeLimit);
    if (!text || !isValidUtf8(*text)) {
        return std::nullopt;
    }
    for (const std::string_view rawLine : providerLines(*text)) {
        std::string_view line = trimmedBlanks(rawLine);
        if (line.empty() || line == "---") {
            continue;
        }
        if (line.front() == '#') {
            line.remove_prefix(std::min(line.find_first_not_of('#'), line.size()));
            line = trimmedBlanks(line);
            if (line.empty()) {
                continue;
            }
        }
        return graphemePrefix(line, summaryLength);
    }
    return std::nullopt;
}

std::vector<Snippet> ProjectDocExtractor::extract(const std::filesystem::path& file) const {
    const std::string name = file.filename().string();
    Snippet snippet;
    snippet.id = "aidoc:" + lowercased(name);
    snippet.label = name;
    snippet.expansion = name;
    snippet.source = SnippetSource::aiDoc();
    snippet.description = summary(file);
    snippet.metadata = std::map<std::string, std::string>{{"filePath", file.string()}};
    return {std::move(snippet)};
}

} // namespace korvane
