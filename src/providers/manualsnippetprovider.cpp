#include "providers/manualsnippetprovider.h"

#include "config/builtinsnippets.h"

#include <set>
#include <utility>

namespace korvane {
namespace {

Snippet makeSnippet(const ManualSnippet& record, const char* idPrefix) {
    Snippet snippet;
    snippet.id = idPrefix + record.key;
    snippet.label = record.key;
    snippet.expansion = record.expand.value_or("");
    snippet.source = SnippetSource::manual();
    snippet.description = record.description;
    if (record.label && !record.label->empty()) {
        snippet.displayName = record.label;
    }
    snippet.url = record.url;
    return snippet;
}

} // namespace

ManualSnippetProvider::ManualSnippetProvider(std::vector<ManualSnippet> manualSnippets)
    : manualSnippets_(std::move(manualSnippets)) {}

std::vector<Snippet> ManualSnippetProvider::snippets(const std::string& /*projectRoot*/) {
    std::set<std::string> takenKeys;
    std::vector<Snippet> result;
    result.reserve(manualSnippets_.size() + builtInSnippets().size());
    for (const auto& record : manualSnippets_) {
        if (record.validationError()) {
            continue;
        }
        takenKeys.insert(record.key);
        result.push_back(makeSnippet(record, "manual:"));
    }
    for (const auto& builtIn : builtInSnippets()) {
        if (takenKeys.contains(builtIn.key) || builtIn.validationError()) {
            continue;
        }
        result.push_back(makeSnippet(builtIn, "builtin:"));
    }
    return result;
}

} // namespace korvane
