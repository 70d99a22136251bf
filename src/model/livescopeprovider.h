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
    // The user picked `snippetID`, one of this source's results, in the project at `root`. Main thread.
    virtual void recordSelection(const std::string& snippetID, const std::string& root) {
        (void)snippetID;
        (void)root;
    }
};

} // namespace korvane
