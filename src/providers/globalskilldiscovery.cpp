#include "providers/globalskilldiscovery.h"

#include "providers/filescanner.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::optional<fs::path> resolved(const fs::path& path) {
    std::error_code error;
    fs::path result = fs::canonical(path, error);
    if (error) {
        return std::nullopt;
    }
    return result;
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

} // namespace

std::vector<fs::path> GlobalSkillDiscovery::discover(const std::vector<fs::path>& roots, std::int64_t maxDepth) {
    std::vector<fs::path> result;
    if (maxDepth <= 0) {
        return result;
    }
    std::set<std::string> queuedDirectories;
    std::set<std::string> takenFiles;
    std::deque<PendingDirectory> queue;
    for (const auto& root : roots) {
        auto directory = resolved(root);
        if (directory && isDirectory(*directory) && queuedDirectories.insert(directory->string()).second) {
            queue.push_back({std::move(*directory), 0});
        }
    }
    while (!queue.empty()) {
        const PendingDirectory directory = std::move(queue.front());
        queue.pop_front();
        const std::int64_t depth = directory.depth + 1;
        if (depth > maxDepth) {
            continue;
        }
        std::vector<fs::path> entries;
        std::error_code error;
        for (fs::directory_iterator it(directory.url, error), end; !error && it != end; it.increment(error)) {
            entries.push_back(it->path());
        }
        std::sort(entries.begin(), entries.end(),
                  [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); });
        for (const auto& entry : entries) {
            auto target = resolved(entry);
            if (!target) {
                continue;
            }
            if (isDirectory(*target)) {
                if (queuedDirectories.insert(target->string()).second) {
                    queue.push_back({std::move(*target), depth});
                }
                continue;
            }
            if (target->filename() == "SKILL.md" && FileScanner::isExtractable(*target) &&
                ::access(target->c_str(), R_OK) == 0 && takenFiles.insert(target->string()).second) {
                result.push_back(std::move(*target));
            }
        }
    }
    std::sort(result.begin(), result.end(), [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); });
    return result;
}

} // namespace korvane
