#include "files/filepathindexbuilder.h"

#include "base/controlcharacters.h"
#include "base/diagnostics.h"
#include "base/unicode.h"
#include "config/providerfactories.h"
#include "files/directoryreader.h"
#include "files/gitpathquoting.h"
#include "files/rootname.h"

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvane {
namespace {

using Steady = std::chrono::steady_clock;

double millisecondsBetween(Clock::MonotonicTime from, Clock::MonotonicTime to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string realPathOr(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) {
        return path;
    }
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// The newest few files, newest first; equal times keep the order they were offered in.
class RecentList {
public:
    void offer(std::string path, std::int64_t mtime) {
        const auto at = std::upper_bound(entries_.begin(), entries_.end(), mtime,
                                         [](std::int64_t time, const auto& entry) { return time > entry.second; });
        entries_.insert(at, {std::move(path), mtime});
        if (entries_.size() > FilePathIndexBuilder::recentListLength) {
            entries_.pop_back();
        }
    }
    std::vector<std::string> paths() && {
        std::vector<std::string> paths;
        for (auto& entry : entries_) {
            paths.push_back(std::move(entry.first));
        }
        return paths;
    }

private:
    std::vector<std::pair<std::string, std::int64_t>> entries_;
};

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t recentCutoff() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() -
           static_cast<std::int64_t>(FilePathIndexBuilder::recentWindow) * 1'000'000'000;
}

enum class EntryKind { link, directory, other };

struct EntryInfo {
    EntryKind kind = EntryKind::other;
    std::optional<std::int64_t> mtime;
};

EntryInfo inspect(int dirFd, const struct dirent* entry, bool needTime) {
    EntryInfo info;
    if (entry->d_type == DT_LNK) {
        info.kind = EntryKind::link;
        return info;
    }
    if (entry->d_type == DT_DIR) {
        info.kind = EntryKind::directory;
        return info;
    }
    if (entry->d_type != DT_UNKNOWN && !needTime) {
        return info;
    }
    struct stat status {};
    if (::fstatat(dirFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return info;
    }
    if (S_ISLNK(status.st_mode)) {
        info.kind = EntryKind::link;
    } else if (S_ISDIR(status.st_mode)) {
        info.kind = EntryKind::directory;
    } else {
        info.mtime = nanoseconds(status.st_mtim);
    }
    return info;
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Walks the tree below an opened directory depth first. `visit` is called for every entry with its
// path relative to the walk's start and its depth below it (1 for the start's own entries); it returns
// whether to go on, and `enter` whether to descend into a directory.
template <class Visit>
bool walkTree(int dirFd, std::string& relative, std::size_t depth, Visit& visit) {
    DirectoryReader reader(dirFd, relative.empty() ? "." : relative.c_str());
    if (!reader.isOpen()) {
        return true;
    }
    const int fd = reader.fd();
    while (const struct dirent* entry = reader.next()) {
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        bool enter = false;
        const std::size_t mark = relative.size();
        if (!relative.empty()) {
            relative.push_back('/');
        }
        relative.append(entry->d_name);
        if (!visit(fd, entry, relative, depth, enter)) {
            relative.resize(mark);
            return false;
        }
        if (enter && !walkTree(dirFd, relative, depth + 1, visit)) {
            relative.resize(mark);
            return false;
        }
        relative.resize(mark);
    }
    return true;
}

// Sorts a listing by bytes. git prints its tracked files sorted and then its untracked ones sorted:
// two runs are merged in one pass, and only a listing in no order is sorted in full.
void sortListing(std::vector<std::string>& paths) {
    const auto descent = std::is_sorted_until(paths.begin(), paths.end());
    if (descent == paths.end()) {
        return;
    }
    if (std::is_sorted(descent, paths.end())) {
        std::inplace_merge(paths.begin(), descent, paths.end());
        return;
    }
    std::sort(paths.begin(), paths.end());
}

} // namespace

const std::set<std::string>& FilePathIndexBuilder::largeDirectoryNames() {
    static const std::set<std::string> names{"node_modules", ".git", "target", "build", "dist"};
    return names;
}

const std::set<std::string>& FilePathIndexBuilder::neverWalkedDirectories() {
    return korvane::neverWalkedDirectories();
}

bool FilePathIndexBuilder::walkEnters(std::string_view name, std::size_t depth) {
    const std::string folder(name);
    return depth <= depthLimit && !neverWalkedDirectories().contains(folder) &&
           !skippedDirectories().contains(folder);
}

std::vector<std::string> FilePathIndexBuilder::decodeListing(std::vector<std::string> lines) {
    std::size_t kept = 0;
    for (auto& line : lines) {
        if (line.front() == '"') {
            if (auto decoded = decodeGitPath(line)) {
                lines[kept++] = std::move(*decoded);
            }
        } else if (!ControlCharacters::holdsControlOrLineBreak(line)) {
            if (&lines[kept] != &line) {
                lines[kept] = std::move(line);
            }
            ++kept;
        }
    }
    lines.resize(kept);
    return lines;
}

FilePathIndexBuilder::WalkResult FilePathIndexBuilder::walkFileManager(const std::string& root) const {
    WalkResult result;
    // The walk starts at the real root, so that every path it meets lies below the root it strips.
    const std::string rootPath = realPathOr(root);
    const int rootFd = ::open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return result;
    }
    const std::int64_t cutoff = recentCutoff();
    RecentList recent;
    auto visit = [&](int dirFd, const struct dirent* entry, const std::string& relative, std::size_t depth,
                     bool& enter) {
        if (result.paths.size() >= maxFiles) {
            performanceLog(logger, fmt::format("[FILEMANAGER LIMIT] root={} hit maxFiles={}",
                                               logRootName(root), maxFiles));
            result.truncated = true;
            return false;
        }
        const std::string_view name = entry->d_name;
        const EntryInfo info = inspect(dirFd, entry, name.front() != '.');
        switch (info.kind) {
        case EntryKind::link:
            return true;
        case EntryKind::directory:
            enter = walkEnters(name, depth);
            return true;
        case EntryKind::other:
            break;
        }
        // A name that is not UTF-8 or holds a control character cannot be shown or inserted as it is.
        if (name.front() == '.' || ControlCharacters::holdsControlOrLineBreak(relative)) {
            return true;
        }
        result.paths.push_back(relative);
        if (info.mtime && *info.mtime > cutoff) {
            recent.offer(relative, *info.mtime);
        }
        return true;
    };
    std::string relative;
    walkTree(rootFd, relative, 1, visit);
    ::close(rootFd);
    result.recentPaths = std::move(recent).paths();
    return result;
}

FilePathIndexBuilder::WalkResult FilePathIndexBuilder::collectIncludePaths(const std::vector<std::string>& includePaths,
                                                                           const std::string& root,
                                                                           std::size_t listedCount,
                                                                           const std::set<std::string>& listed) const {
    WalkResult result;
    const std::string rootReal = realPathOr(root);
    const std::ptrdiff_t budget = static_cast<std::ptrdiff_t>(maxFiles) - static_cast<std::ptrdiff_t>(listedCount);
    const std::int64_t cutoff = recentCutoff();
    std::set<std::string> known = listed;
    RecentList recent;
    const std::size_t used = std::min(includePaths.size(), includePathsConsidered);
    for (std::size_t k = 0; k < used && !result.truncated; ++k) {
        const std::string& p = includePaths[k];
        std::string_view below = p;
        while (!below.empty() && below.front() == '/') {
            below.remove_prefix(1);
        }
        const std::filesystem::path candidate = (std::filesystem::path(rootReal) / std::string(below)).lexically_normal();
        std::error_code error;
        std::filesystem::path resolvedPath = std::filesystem::canonical(candidate, error);
        if (error) {
            resolvedPath = std::filesystem::weakly_canonical(candidate, error);
            if (error) {
                resolvedPath = candidate;
            }
        }
        std::string resolved = resolvedPath.string();
        while (resolved.size() > 1 && resolved.back() == '/') {
            resolved.pop_back();
        }
        if (resolved != rootReal && !resolved.starts_with(rootReal + "/")) {
            errorLog(logger,
                     fmt::format("include_paths: skipping '{}' (escapes project root after symlink resolution)", p));
            continue;
        }
        struct stat status {};
        if (::lstat(resolved.c_str(), &status) != 0) {
            continue;
        }
        if (largeDirectoryNames().contains(std::filesystem::path(resolved).filename().string())) {
            performanceLog(logger, fmt::format("include_paths: '{}' may contain many files", p));
        }
        const int baseFd = ::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (baseFd < 0) {
            continue;
        }
        // Paths are relative to the project root, whatever include path they were found under.
        const std::string prefix = resolved == rootReal ? std::string() : resolved.substr(rootReal.size() + 1);
        auto visit = [&](int dirFd, const struct dirent* entry, const std::string& relative, std::size_t depth,
                         bool& enter) {
            if (static_cast<std::ptrdiff_t>(result.paths.size()) >= budget) {
                result.truncated = true;
                return false;
            }
            if (depth > depthLimit) {
                return true;
            }
            const std::string_view name = entry->d_name;
            const EntryInfo info = inspect(dirFd, entry, name.front() != '.');
            if (info.kind == EntryKind::link) {
                return true;
            }
            if (info.kind == EntryKind::directory) {
                enter = true;
                return true;
            }
            if (name.front() == '.') {
                return true;
            }
            std::string path = prefix.empty() ? relative : prefix + "/" + relative;
            if (ControlCharacters::holdsControlOrLineBreak(path) || known.contains(path)) {
                return true;
            }
            known.insert(path);
            if (info.mtime && *info.mtime > cutoff) {
                recent.offer(path, *info.mtime);
            }
            result.paths.push_back(std::move(path));
            return true;
        };
        std::string relative;
        walkTree(baseFd, relative, 1, visit);
        ::close(baseFd);
    }
    result.recentPaths = std::move(recent).paths();
    return result;
}

FilePathIndexBuilder::BuildResult FilePathIndexBuilder::build(const std::string& root,
                                                              const std::vector<std::string>& includePaths) const {
    BuildResult result;
    const std::string rootName = logRootName(root);
    const auto start = clock->monotonicNow();
    const auto attemptStart = clock->monotonicNow();
    GitOutput listing;
    std::optional<std::pair<std::vector<std::string>, double>> seed;
    if (broker) {
        seed = broker->consume(root, brokerMaxAge);
    }
    if (seed) {
        performanceLog(logger, fmt::format("[BROKER HIT] root={} files={} age={:.0f}ms", rootName,
                                           seed->first.size(), seed->second));
        listing = std::move(seed->first);
        result.fromBroker = true;
    } else if (commandRunner) {
        listing = commandRunner({"ls-files", "--cached", "--others", "--exclude-standard"}, root, gitTimeout);
    }
    const double attemptMs = millisecondsBetween(attemptStart, clock->monotonicNow());

    if (!listing) {
        const char* reason = attemptMs >= gitTimeout * 1000 * timeoutShare ? "TIMEOUT" : "ERROR";
        errorLog(logger, fmt::format("[GIT FAILED] root={} reason={} attemptMs={:.2f}ms timeout={:.0f}ms", rootName,
                                     reason, attemptMs, gitTimeout * 1000));
        const auto walkStart = clock->monotonicNow();
        WalkResult walk = walkFileManager(root);
        const double fmMs = millisecondsBetween(walkStart, clock->monotonicNow());
        const auto sortStart = clock->monotonicNow();
        std::sort(walk.paths.begin(), walk.paths.end());
        const double sortMs = millisecondsBetween(sortStart, clock->monotonicNow());
        performanceLog(logger,
                       fmt::format("[FILEMANAGER FALLBACK] root={} files={} fmMs={:.2f}ms sortMs={:.2f}ms gitFailure={}",
                                   rootName, walk.paths.size(), fmMs, sortMs, reason));
        result.relativePaths = std::move(walk.paths);
        result.recentByMtime = std::move(walk.recentPaths);
        result.wasTruncated = walk.truncated;
        result.gitFailed = true;
        result.gitFailure = listing.failure();
        result.fileManagerMs = fmMs;
    } else {
        std::vector<std::string> paths = decodeListing(std::move(*listing));
        const auto sortStart = clock->monotonicNow();
        sortListing(paths);
        const double sortMs = millisecondsBetween(sortStart, clock->monotonicNow());
        performanceLog(logger, fmt::format("[GIT LS-FILES SUCCESS] root={} files={} gitMs={:.2f}ms sortMs={:.2f}ms",
                                           rootName, paths.size(), attemptMs, sortMs));
        if (!includePaths.empty()) {
            const std::set<std::string> listed(paths.begin(), paths.end());
            WalkResult added = collectIncludePaths(includePaths, root, paths.size(), listed);
            paths.insert(paths.end(), std::make_move_iterator(added.paths.begin()),
                         std::make_move_iterator(added.paths.end()));
            std::sort(paths.begin(), paths.end());
            result.recentByMtime = std::move(added.recentPaths);
            result.wasTruncated = added.truncated;
        }
        result.relativePaths = std::move(paths);
        result.usedGit = true;
        result.gitLsFilesMs = attemptMs;
    }
    result.totalMs = millisecondsBetween(start, clock->monotonicNow());
    return result;
}

} // namespace korvane
