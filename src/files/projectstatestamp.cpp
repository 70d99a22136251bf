#include "files/projectstatestamp.h"

#include "gitguard/gitfolderstamp.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace korvane {
namespace {

std::atomic<std::uint64_t> readCount = 0;

// Folds one stat result into the running stamp (FNV-1a over the fields); a missing entry counts too.
class Fold {
public:
    // Times after `recent` are recent, those after `now` ahead of the clock (nanoseconds since the epoch).
    Fold(std::int64_t recent, std::int64_t now)
        : recent_(recent)
        , now_(now) {}

    // Folds the entry in; its link count, 0 where it is missing.
    std::uint64_t add(int dirFd, const char* relative) {
        struct stat status {};
        if (::fstatat(dirFd, relative, &status, AT_SYMLINK_NOFOLLOW) != 0) {
            mix(0xffffffffu);
            return 0;
        }
        const std::int64_t time =
            static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
        ahead_ |= time > now_;
        recentSeen_ |= time > recent_ && time <= now_;
        mix(static_cast<std::uint64_t>(time));
        mix(static_cast<std::uint64_t>(status.st_ino));
        mix(static_cast<std::uint64_t>(status.st_size));
        // A folder closed to the user lists nothing, though no time of it moved.
        mix(static_cast<std::uint64_t>(status.st_mode));
        return static_cast<std::uint64_t>(status.st_nlink);
    }
    void addWord(std::uint64_t word) { mix(word); }
    void addText(std::string_view text) {
        for (const char c : text) {
            mix(static_cast<unsigned char>(c));
        }
        mix(text.size());
    }
    std::uint64_t value() const { return hash_; }
    ProjectStateStamp stamp(std::uint64_t head) const {
        return {hash_, head, !ahead_ && !recentSeen_, ahead_ && !recentSeen_};
    }

private:
    void mix(std::uint64_t word) {
        for (int i = 0; i < 8; ++i) {
            hash_ ^= (word >> (8 * i)) & 0xff;
            hash_ *= 0x100000001b3ull;
        }
    }

    std::uint64_t hash_ = 0xcbf29ce484222325ull;
    std::int64_t recent_;
    std::int64_t now_;
    bool ahead_ = false;
    bool recentSeen_ = false;
};

// The git directory of the repository holding `root`: the nearest ".git" folder, or the folder a
// ".git" file points to (a worktree or submodule); empty when there is none.
std::string gitDirectory(const std::string& root) {
    std::string folder = root;
    while (!folder.empty()) {
        const std::string dotGit = folder + "/.git";
        struct stat status {};
        if (::lstat(dotGit.c_str(), &status) == 0) {
            if (S_ISDIR(status.st_mode)) {
                return dotGit;
            }
            // The pointer file is read only for a path to stat, never run or followed further.
            const auto named = GitFolderStamp::pointerIn(dotGit, "gitdir: ");
            return named ? named->string() : std::string();
        }
        const std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos) {
            break;
        }
        folder.resize(slash);
    }
    return {};
}

// git's files and the root folder itself; the root's link count.
std::uint64_t addHead(Fold& fold, const std::string& root) {
    if (const std::string git = gitDirectory(root); !git.empty()) {
        fold.add(AT_FDCWD, (git + "/index").c_str());
        fold.add(AT_FDCWD, (git + "/HEAD").c_str());
        // What it excludes hides files without a folder of the project changing.
        fold.add(AT_FDCWD, (git + "/info/exclude").c_str());
    }
    // The folder itself, also where the root is a link to it, as the tree below is read through the link.
    return fold.add(AT_FDCWD, (root + "/.").c_str());
}

// Whether a folder of `links` links may hold folders besides its `listed` ones: a folder's link count
// is two and one for each folder in it, where the file system keeps it (otherwise it stays below two).
bool mayHoldOthers(std::uint64_t links, std::uint32_t listed) {
    return links != 0 && links != 2 + std::uint64_t{listed};
}

} // namespace

ProjectStateStamp::TreeEntries ProjectStateStamp::treeEntries(const PathList& paths) {
    TreeEntries entries;
    // Each folder seen, with its place in `entries.folders`.
    std::unordered_map<std::string_view, std::size_t> seen;
    // The folders a path adds, its own first, with their places in `seen`; they go into the list the
    // other way round.
    std::vector<std::string_view> unseen;
    std::vector<std::size_t*> places;
    // Files of one folder mostly come together: a path in the previous path's folder adds nothing.
    std::string_view previousFolder;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string_view path = paths[i];
        if (path.substr(paths.nameStart(i)) == ".gitignore") {
            entries.ignoreFiles.push_back(path);
        }
        std::size_t end = paths.nameStart(i);
        if (path.substr(0, end) == previousFolder) {
            continue;
        }
        previousFolder = path.substr(0, end);
        unseen.clear();
        places.clear();
        // A parent already seen had its own parents added with it; it holds one folder more.
        std::uint32_t* holding = &entries.rootFolders;
        while (end > 1) {
            const std::string_view folder = path.substr(0, end - 1);
            const auto [at, added] = seen.try_emplace(folder, 0);
            if (!added) {
                holding = &entries.subfolders[at->second];
                break;
            }
            unseen.push_back(folder);
            places.push_back(&at->second);
            end = folder.rfind('/') == std::string_view::npos ? 0 : folder.rfind('/') + 1;
        }
        if (unseen.empty()) {
            continue;
        }
        ++*holding;
        for (std::size_t k = unseen.size(); k-- > 0;) {
            *places[k] = entries.folders.size();
            entries.folders.push_back(unseen[k]);
            // Each new folder but the deepest holds the next one.
            entries.subfolders.push_back(k == 0 ? 0 : 1);
        }
    }
    return entries;
}

ProjectStateStamp ProjectStateStamp::take(const std::string& root, const PathList& paths,
                                          std::chrono::system_clock::time_point listedSince) {
    return take(root, treeEntries(paths), listedSince);
}

ProjectStateStamp ProjectStateStamp::take(const std::string& root, const TreeEntries& entries,
                                          std::chrono::system_clock::time_point listedSince,
                                          const MoreFolders& more) {
    const auto nanoseconds = [](std::chrono::system_clock::time_point time) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    };
    const auto now = std::chrono::system_clock::now();
    Fold fold(nanoseconds(std::min(listedSince, now)) - static_cast<std::int64_t>(settleSeconds * 1e9),
              nanoseconds(now));
    std::vector<std::string_view> roomy;
    if (mayHoldOthers(addHead(fold, root), entries.rootFolders)) {
        roomy.emplace_back();
    }
    const std::uint64_t head = fold.value();
    const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0) {
        return fold.stamp(head);
    }
    std::string scratch;
    const auto add = [&](std::string_view name) {
        scratch.assign(name);
        return fold.add(rootFd, scratch.c_str());
    };
    for (std::size_t i = 0; i < entries.folders.size(); ++i) {
        const std::uint64_t links = add(entries.folders[i]);
        if (more && i < entries.subfolders.size() && mayHoldOthers(links, entries.subfolders[i])) {
            roomy.push_back(entries.folders[i]);
        }
    }
    const std::vector<std::string_view> added = more ? more(roomy) : std::vector<std::string_view>();
    for (const std::string_view name : added) {
        add(name);
    }
    for (const std::string_view name : entries.ignoreFiles) {
        add(name);
    }
    readCount += entries.folders.size() + added.size() + entries.ignoreFiles.size();
    ::close(rootFd);
    return fold.stamp(head);
}

std::uint64_t ProjectStateStamp::entriesRead() {
    return readCount;
}

std::uint64_t ProjectStateStamp::takeHead(const std::string& root) {
    Fold fold(0, 0);
    addHead(fold, root);
    return fold.value();
}

std::uint64_t ProjectStateStamp::takeAccess(const std::string& root) {
    Fold fold(0, 0);
    const std::string git = gitDirectory(root);
    fold.addText(git);
    for (const std::string& path : {root, git}) {
        // A folder made anew may take the number of the one removed just before; not its birth time,
        // where the file system keeps one.
        struct statx status {};
        const bool there =
            !path.empty() && ::statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_BTIME, &status) == 0;
        fold.addWord(there ? (std::uint64_t{status.stx_dev_major} << 32 | status.stx_dev_minor) : 0);
        fold.addWord(there ? status.stx_ino : 0);
        const bool born = there && (status.stx_mask & STATX_BTIME) != 0;
        fold.addWord(born ? static_cast<std::uint64_t>(status.stx_btime.tv_sec) : 0);
        fold.addWord(born ? status.stx_btime.tv_nsec : 0);
        fold.addWord(there && ::access(path.c_str(), R_OK | X_OK) == 0);
    }
    return fold.value();
}

} // namespace korvane
