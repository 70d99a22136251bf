#include "files/unlistedfolders.h"

#include "files/directoryreader.h"
#include "files/filepathindexbuilder.h"

#include <algorithm>
#include <fcntl.h>
#include <span>
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

// The folders `listing` (git's lines) prints as folders of their own.
std::unordered_set<std::string> printedFolders(std::vector<std::string> listing) {
    std::unordered_set<std::string> folders;
    for (std::string& line : FilePathIndexBuilder::decodeListing(std::move(listing))) {
        if (line.size() > 1 && line.back() == '/') {
            line.pop_back();
            folders.insert(std::move(line));
        }
    }
    return folders;
}

bool withinAny(std::string_view folder, const std::unordered_set<std::string>& folders) {
    for (std::string_view above = parentOf(folder); !above.empty(); above = parentOf(above)) {
        if (folders.contains(std::string(above))) {
            return true;
        }
    }
    return false;
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
        auto taken = judge(candidates, level > 0);
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
            timeout](const std::vector<std::string>& candidates,
                     bool nested) -> std::optional<std::vector<std::string>> {
        // What git prints of the folders `named`, or of the whole tree when none are.
        const auto printed =
            [&](std::span<const std::string> named) -> std::optional<std::unordered_set<std::string>> {
            std::vector<std::string> arguments{"ls-files", "--others", "--directory", "--exclude-standard"};
            if (!named.empty()) {
                arguments.emplace_back("--");
            }
            for (const std::string& folder : named) {
                arguments.push_back(":(literal)" + folder + "/");
            }
            auto listing = runner(arguments, root, timeout);
            if (!listing) {
                return std::nullopt;
            }
            return printedFolders(std::move(*listing));
        };
        std::vector<std::string> taken;
        std::vector<std::string> named;
        if (nested || candidates.size() <= candidateLimit) {
            named = candidates;
        } else {
            // The whole tree, where git prints the topmost folders it would list files of: those
            // are taken, and those within them are asked about by name, as git prints no more of them.
            const auto topmost = printed({});
            if (!topmost) {
                return std::nullopt;
            }
            for (const std::string& folder : candidates) {
                if (topmost->contains(folder)) {
                    taken.push_back(folder);
                } else if (withinAny(folder, *topmost)) {
                    named.push_back(folder);
                }
            }
        }
        // More than the folders that may be found are not asked about.
        named.resize(std::min(named.size(), folderLimit));
        for (std::size_t from = 0; from < named.size(); from += candidateLimit) {
            const auto some = std::span(named).subspan(from, std::min(candidateLimit, named.size() - from));
            const auto folders = printed(some);
            if (!folders) {
                return std::nullopt;
            }
            std::copy_if(some.begin(), some.end(), std::back_inserter(taken),
                         [&](const std::string& folder) { return folders->contains(folder); });
        }
        return taken;
    };
}

UnlistedFolders::Judge UnlistedFolders::walkJudge() {
    return [](const std::vector<std::string>& candidates, bool) -> std::optional<std::vector<std::string>> {
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
