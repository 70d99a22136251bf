#pragma once

#include "model/searchresult.h"

#include <string>
#include <vector>

namespace korvane {

// A source asked for every keystroke of a query scoped to it (the project's file paths). Called off the
// main thread, possibly from several searches at once; blocks until it has an answer.
class LiveScopeProvider {
public:
    virtual ~LiveScopeProvider() = default;

    // The results for `query` in the project at `projectRoot`. Never fails: nothing found is empty.
    virtual std::vector<SearchResult> search(const std::string& query, const std::string& projectRoot,
                                             bool caseSensitive) = 0;
};

} // namespace korvane
