#pragma once

#include "base/diagnostics.h"
#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <exception>
#include <string>
#include <vector>

namespace korvane {

// A provider's snippets for a root, or nothing when the provider throws: one broken provider must not
// take a scan, a refresh or a pool thread down with it. The failure is logged. Any thread.
inline std::vector<Snippet> snippetsOrNothing(SnippetProvider& provider, const std::string& root) {
    try {
        return provider.snippets(root);
    } catch (const std::exception& error) {
        diagnostic("Snippet provider failed for " + root + ": " + error.what());
    } catch (...) {
        diagnostic("Snippet provider failed for " + root + ": unknown error");
    }
    return {};
}

} // namespace korvane
