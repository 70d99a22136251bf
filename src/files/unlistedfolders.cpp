#include "files/unlistedfolders.h"

#include "files/directoryreader.h"
#include "files/filepathindexbuilder.h"

#include <algorithm>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>
#include <utility>

namespace korvane {
namespace {

std::string_view parentOf(std::string_view folder) {
    const std::size_t slash = folder.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : folder.substr(0, slash);
}

std::string joined(std::string_view folder, std::string_view name) {
    return folder.empty() ? std::string(name) : std::string(folder) + "/" + std::string(name);
}

const char* openable(const std::string& folder) {
    return folder.empty() ? "." : folder.c_str();
}

bool isFolder(int dirFd, const struct dirent* entry) {
    if (entry->d_type != DT_UNKNOWN) {
        return entry->d_type == DT_DIR;
    }
    struct stat status {};
    return ::fstatat(dirFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

// Adds the folders in `folder` that `known` does not name to `out`; git's own folder never, nor a link.
template <class Known>
void addFolders(int rootFd, const std::string& folder, const Known& known, std::vector<std::string>& out) {
    DirectoryReader reader(rootFd, openable(folder));
    if (!reader.isOpen()) {
        return;
    }
    while (const struct dirent* entry = reader.next()) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || name == ".git" || !isFolder(reader.fd(), entry)) {
            continue;
        }
        std::string path = joined(folder, name);
        if (!known(path)) {
            out.push_back(std::move(path));
        }
    }
}

// The folders `candidates` name that `listing` (git's lines) prints as folders of their own.
std::vector<std::string> printedFolders(std::vector<std::string> listing,
                                        const std::vector<std::string>& candidates) {
    const std::unordered_set<std::string_view> asked(candidates.begin(), candidates.end());
    std::vector<std::string> taken;
    for (std::string& line : FilePathIndexBuilder::decodeListing(std::move(listing))) {
        if (line.size() > 1 && line.back() == '/' &&
            asked.contains(std::string_view(line).substr(0, line.size() - 1))) {
            line.pop_back();
            taken.push_back(std::move(line));
        }
    }
    return taken;
}

} // namespace

std::vector<std::string> UnlistedFolders::find(const std::string& root, const PathList& paths,
                                               const ProjectStateStamp::TreeEntries& entries,
                                               const std::vector<std::string_view>& roomy,
                                               const Judge& judge) {
    if (roomy.empty()) {
        return {};
    }
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return {};
    }
    // The listed folders the roomy ones hold: only those are met below them.
    const std::unordered_set<std::string_view> read(roomy.begin(), roomy.end());
    std::unordered_set<std::string_view> listed;
    for (const std::string_view folder : entries.folders) {
        if (read.contains(parentOf(folder))) {
            listed.insert(folder);
        }
    }
    // A listed path met as a folder is a repository of its own that git lists as one entry.
    const auto known = [&](const std::string& path) { return listed.contains(path) || paths.contains(path); };
    std::vector<std::string> candidates;
    for (const std::string_view folder : roomy) {
        addFolders(rootFd, std::string(folder), known, candidates);
    }
    // Level by level, so that only folders the listing takes files from are read.
    std::vector<std::string> found;
    for (std::size_t level = 0; level < levelLimit && !candidates.empty() && found.size() < folderLimit;
         ++level) {
        std::sort(candidates.begin(), candidates.end());
        auto taken = judge(candidates);
        if (!taken) {
            break;
        }
        taken->resize(std::min(taken->size(), folderLimit - found.size()));
        candidates.clear();
        for (const std::string& folder : *taken) {
            addFolders(
                rootFd, folder, [](const std::string&) { return false; }, candidates);
        }
        found.insert(found.end(), std::make_move_iterator(taken->begin()),
                     std::make_move_iterator(taken->end()));
    }
    ::close(rootFd);
    return found;
}

UnlistedFolders::Judge UnlistedFolders::gitJudge(CommandRunner runner, std::string root, double timeout) {
    return [runner = std::move(runner), root = std::move(root),
            timeout](const std::vector<std::string>& candidates) -> std::optional<std::vector<std::string>> {
        std::vector<std::string> arguments{"ls-files", "--others", "--directory", "--exclude-standard"};
        if (candidates.size() <= candidateLimit) {
            arguments.emplace_back("--");
            for (const std::string& folder : candidates) {
                arguments.push_back(":(literal)" + folder + "/");
            }
        }
        auto listing = runner(arguments, root, timeout);
        if (!listing) {
            return std::nullopt;
        }
        return printedFolders(std::move(*listing), candidates);
    };
}

UnlistedFolders::Judge UnlistedFolders::walkJudge() {
    return [](const std::vector<std::string>& candidates) -> std::optional<std::vector<std::string>> {
        std::vector<std::string> entered;
        for (const std::string& folder : candidates) {
            const auto depth = static_cast<std::size_t>(std::count(folder.begin(), folder.end(), '/')) + 1;
            const std::size_t slash = folder.rfind('/');
            const std::string_view name =
                std::string_view(folder).substr(slash == std::string::npos ? 0 : slash + 1);
            if (FilePathIndexBuilder::walkEnters(name, depth)) {
                entered.push_back(folder);
            }
        }
        return entered;
    };
}

} // namespace korvane
