#include "providers/filescanner.h"

#include "base/controlcharacters.h"
#include "base/fileio.h"
#include "base/unicode.h"
#include "config/providerfactories.h"

#include <algorithm>
#include <deque>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>
#include <utility>

namespace korvane {
namespace {

// Closes a directory stream.
struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

enum class EntryKind { link, directory, other };

EntryKind entryKind(const std::string& path, unsigned char type) {
    switch (type) {
    case DT_LNK: return EntryKind::link;
    case DT_DIR: return EntryKind::directory;
    case DT_UNKNOWN: break;
    default: return EntryKind::other;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return EntryKind::other;
    }
    if (S_ISLNK(info.st_mode)) {
        return EntryKind::link;
    }
    return S_ISDIR(info.st_mode) ? EntryKind::directory : EntryKind::other;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string_view lastComponent(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

const std::set<std::string>& FileScanner::neverWalkedDirectories() {
    return korvane::neverWalkedDirectories();
}

FileScanner::FileScanner(std::vector<std::shared_ptr<const FileExtractor>> extractors,
                         std::set<std::string> ignorePatterns, std::int64_t maxDepth, GitLister gitLister,
                         std::size_t walkBudget)
    : extractors_(std::move(extractors))
    , ignorePatterns_(std::move(ignorePatterns))
    , maxDepth_(maxDepth)
    , gitLister_(std::move(gitLister))
    , walkBudget_(walkBudget) {}

bool FileScanner::isExtractable(const std::filesystem::path& path) {
    const auto size = regularFileSize(path);
    return size && *size <= sizeLimit;
}

std::vector<Snippet> FileScanner::scan(const std::string& projectRoot) const {
    const std::string root = withoutTrailingSlash(projectRoot);
    struct stat info {};
    if (gitLister_ && ::stat((root + "/.git").c_str(), &info) == 0) {
        if (auto listed = scanListedFiles(root)) {
            return std::move(*listed);
        }
    }
    return walkDirectory(root);
}

void FileScanner::extractFrom(const std::string& root, const std::filesystem::path& path,
                              std::string_view fileName, std::string_view relativePath,
                              std::vector<Snippet>& into) const {
    bool checked = false;
    for (const auto& extractor : extractors_) {
        if (!extractor->matches(fileName, relativePath)) {
            continue;
        }
        // Only a claimed name costs a look at the file system, and only once.
        if (!checked) {
            if (!isExtractable(path) || !resolvesInside(root, path)) {
                return;
            }
            checked = true;
        }
        auto snippets = extractor->extract(path);
        into.insert(into.end(), std::make_move_iterator(snippets.begin()), std::make_move_iterator(snippets.end()));
    }
}

std::optional<std::vector<Snippet>> FileScanner::scanListedFiles(const std::string& projectRoot) const {
    if (!gitLister_) {
        return std::nullopt;
    }
    const std::string root = withoutTrailingSlash(projectRoot);
    auto listing = gitLister_(root);
    if (!listing) {
        return std::nullopt;
    }
    std::vector<Snippet> result;
    const std::string prefix = root == "/" ? root : root + "/";
    for (const auto& relative : *listing) {
        extractFrom(root, prefix + relative, lastComponent(relative), relative, result);
    }
    // Environment files are usually ignored by git but belong to the project all the same.
    for (const std::string_view name : environmentFileNames) {
        if (std::find(listing->begin(), listing->end(), name) != listing->end()) {
            continue;
        }
        const std::string path = prefix + std::string(name);
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) {
            extractFrom(root, path, name, name, result);
        }
    }
    return result;
}

std::vector<Snippet> FileScanner::walkDirectory(const std::string& projectRoot) const {
    std::vector<Snippet> result;
    if (maxDepth_ < 1) {
        return result;
    }
    const std::string root = withoutTrailingSlash(projectRoot);
    const auto& neverWalked = neverWalkedDirectories();
    // Breadth first, so that one directory stream is open at a time however deep the tree goes.
    struct Pending {
        std::string relative;
        std::int64_t depth;
    };
    std::deque<Pending> queue{{std::string(), 0}};
    std::size_t visited = 0;
    while (!queue.empty()) {
        Pending directory = std::move(queue.front());
        queue.pop_front();
        const std::string directoryPath = directory.relative.empty() ? root : root + "/" + directory.relative;
        DirHandle dir(::opendir(directoryPath.c_str()));
        if (!dir) {
            continue;
        }
        const std::int64_t depth = directory.depth + 1;
        while (const dirent* entry = ::readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            if (++visited > walkBudget_) {
                return result;
            }
            std::string relative = directory.relative.empty() ? std::string(name) : directory.relative + "/" + std::string(name);
            const std::string path = root + "/" + relative;
            switch (entryKind(path, entry->d_type)) {
            case EntryKind::link:
                break;
            case EntryKind::directory:
                if (depth < maxDepth_ && !neverWalked.contains(std::string(name)) &&
                    !ignorePatterns_.contains(std::string(name))) {
                    queue.push_back({std::move(relative), depth});
                }
                break;
            case EntryKind::other:
                // A name that is not UTF-8 or holds a control character cannot be offered as text.
                if (!ControlCharacters::holdsControlOrLineBreak(relative)) {
                    extractFrom(root, path, name, relative, result);
                }
                break;
            }
        }
    }
    return result;
}

} // namespace korvane
