#pragma once

#include "base/clock.h"
#include "platform/fake/manualscheduler.h"
#include "model/searchresult.h"
#include "model/snippet.h"
#include "search/filesearchsource.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvane::test {

inline std::shared_ptr<const Snippet> manualSnippet(const std::string& key, const std::string& label = {}) {
    Snippet snippet;
    snippet.id = "manual:" + key;
    snippet.label = label.empty() ? key : label;
    snippet.expansion = "expansion of " + key;
    snippet.source = SnippetSource::manual();
    return std::make_shared<const Snippet>(std::move(snippet));
}

inline SearchResult fileResult(const std::string& path) {
    Snippet snippet;
    snippet.id = "file:" + path;
    snippet.label = path;
    snippet.expansion = path;
    snippet.source = SnippetSource::filePath();
    snippet.metadata = std::map<std::string, std::string>{{"filePath", path}};
    return SearchResult{std::make_shared<const Snippet>(std::move(snippet)), {}};
}

inline std::vector<std::string> ids(const std::vector<SearchResult>& results) {
    std::vector<std::string> out;
    for (const auto& result : results) {
        out.push_back(result.snippet ? result.snippet->id : "");
    }
    return out;
}

// Forwards main-thread work to a ManualScheduler but keeps background jobs until the test releases
// them, so that a slow provider can be overtaken by the next keystroke.
class StagedScheduler final : public Scheduler {
public:
    explicit StagedScheduler(ManualScheduler& inner)
        : inner_(inner) {}

    void post(Task task) override { inner_.post(std::move(task)); }
    CancellationToken postAfter(double seconds, Task task) override {
        return inner_.postAfter(seconds, std::move(task));
    }
    CancellationToken runInBackground(TaskPriority priority, Job job) override {
        if (!holding) {
            return inner_.runInBackground(priority, std::move(job));
        }
        CancellationToken token;
        held_.emplace_back(std::move(job), token);
        return token;
    }
    CancellationToken watchReadable(int fd, Task onReadable) override {
        return inner_.watchReadable(fd, std::move(onReadable));
    }

    std::size_t heldJobs() const { return held_.size(); }
    // Runs the oldest held job on the calling thread.
    void releaseOldest() {
        auto [job, token] = std::move(held_.front());
        held_.pop_front();
        job(token);
    }
    std::pair<Job, CancellationToken> takeOldest() {
        auto entry = std::move(held_.front());
        held_.pop_front();
        return entry;
    }

    bool holding = false;

private:
    ManualScheduler& inner_;
    std::deque<std::pair<Job, CancellationToken>> held_;
};

// The project's file paths as a test sets them; it records every search.
class FakeFileSource final : public FileSearchSource {
public:
    using FileSearchSource::search;
    std::vector<SearchResult> search(const std::string& query, const std::string& projectRoot, bool,
                                     const CancellationToken*) override {
        searches.push_back(query);
        roots.push_back(projectRoot);
        if (onSearch) {
            onSearch(query);
        }
        auto found = answers.find(query);
        return found == answers.end() ? std::vector<SearchResult>{} : found->second;
    }
    std::vector<std::string> recentPaths(const std::string&, std::size_t limit) override {
        auto paths = recent;
        if (paths.size() > limit) {
            paths.resize(limit);
        }
        return paths;
    }
    Snippet makeSnippet(const std::string& relativePath, const std::string&) override {
        return *fileResult(relativePath).snippet;
    }
    bool isIndexTruncated(const std::string&) override { return truncated; }
    bool isRecentFilesLoading(const std::string&) override { return loading; }

    std::map<std::string, std::vector<SearchResult>> answers;
    // Runs inside each search, as if the user typed while it ran.
    std::function<void(const std::string&)> onSearch;
    std::vector<std::string> recent;
    bool truncated = false;
    bool loading = false;
    std::vector<std::string> searches;
    std::vector<std::string> roots;
};

} // namespace korvane::test
