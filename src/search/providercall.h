#pragma once

#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <string>
#include <vector>

namespace korvane {

// A provider's snippets for a root, or nothing when the provider throws: one broken provider must not
// take a scan, a refresh or a pool thread down with it. Any thread.
inline std::vector<Snippet> snippetsOrNothing(SnippetProvider& provider, const std::string& root) {
    try {
        return provider.snippets(root);
    } catch (...) {
        return {};
    }
}

} // namespace korvane
