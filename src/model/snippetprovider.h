#pragma once

#include "model/snippet.h"

#include <string>
#include <vector>

namespace korvane {

// A source of snippets for a project scan. Synchronous and may block; called on background jobs,
// possibly concurrently, so implementations guard whatever state they keep.
class SnippetProvider {
public:
    virtual ~SnippetProvider() = default;

    // The source's snippets for the project at `projectRoot`. Never fails: a source that cannot be
    // read contributes nothing.
    virtual std::vector<Snippet> snippets(const std::string& projectRoot) = 0;
};

} // namespace korvane
