#include "providers/npmscriptprovider.h"

#include "base/fileio.h"
#include "providers/filescanner.h"

#include <filesystem>
#include <nlohmann/json.hpp>

namespace korvane {

std::vector<Snippet> NpmScriptProvider::snippets(const std::string& projectRoot) {
    const auto text = readTextFileInside(projectRoot, std::filesystem::path(projectRoot) / "package.json",
                                         FileScanner::sizeLimit);
    if (!text) {
        return {};
    }
    const auto document = nlohmann::json::parse(*text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return {};
    }
    const auto scripts = document.find("scripts");
    if (scripts == document.end() || !scripts->is_object()) {
        return {};
    }
    std::vector<Snippet> result;
    result.reserve(scripts->size());
    // The object's members come in byte order of their UTF-8 names, which is code point order.
    for (const auto& [name, command] : scripts->items()) {
        if (!command.is_string()) {
            return {};
        }
        Snippet snippet;
        snippet.id = "npm:" + name;
        snippet.label = name;
        snippet.expansion = name;
        snippet.source = SnippetSource::npmScript();
        snippet.description = command.get<std::string>();
        result.push_back(std::move(snippet));
    }
    return result;
}

} // namespace korvane
