#pragma once

#include "base/cancellationtoken.h"
#include "model/livescopeprovider.h"
#include "model/searchresult.h"
#include "model/snippet.h"

#include <cstddef>
#include <string>
#include <vector>

namespace korvane {

// What the search side asks of the project's file paths besides the files scope itself: ranked paths
// that a cancellation can cut short, the recent files the browser lists, and the states its messages
// report. The application hands in the shared file path provider through FilePathSearchSource; tests
// hand in a fake. Any thread, like the provider behind it.
class FileSearchSource : public LiveScopeProvider {
public:
    using LiveScopeProvider::search;
    std::vector<SearchResult> search(const std::string& query, const std::string& projectRoot,
                                     bool caseSensitive) override {
        return search(query, projectRoot, caseSensitive, nullptr);
    }
    // As search; a cancelled token may end the work early with no results.
    virtual std::vector<SearchResult> search(const std::string& query, const std::string& projectRoot,
                                             bool caseSensitive, const CancellationToken* cancellation) = 0;

    // The project's recent files (relative paths), newest first, at most `limit`.
    virtual std::vector<std::string> recentPaths(const std::string& projectRoot, std::size_t limit) = 0;
    // The snippet the browser shows for one recent file, inserted as the current setting says.
    virtual Snippet makeSnippet(const std::string& relativePath, const std::string& projectRoot) = 0;
    // Whether the root's path index stopped at its size limit.
    virtual bool isIndexTruncated(const std::string& projectRoot) = 0;
    // Whether the root's recent files are still being refreshed.
    virtual bool isRecentFilesLoading(const std::string& projectRoot) = 0;
};

} // namespace korvane
