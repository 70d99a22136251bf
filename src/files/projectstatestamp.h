#pragma once

#include "files/pathlist.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// What a project's file list depends on, folded into one number that is cheap to take again: the
// modification time, inode and size of git's index, HEAD and info/exclude, of every folder that holds
// a listed path (and their parents, up to the root) and of every listed ".gitignore", and whether the
// root can be read. A folder's time
// moves whenever an entry is created, removed or renamed in it, so an unchanged stamp means the list
// would come out the same. Taken on whichever thread builds or checks an index: one stat call per
// folder holding listed files (27 ms for the 140,000 files in 17,000 folders under /usr), no git run;
// while a ProjectChangeWatch covers the folders, only its head is taken again. A value.
struct ProjectStateStamp {
    // A change this many seconds before the list began to be read may have fallen after the list's
    // reading of its folder: a file system's times may be as coarse as 2 s, and the clock that dates
    // them ticks in steps of its own.
    static constexpr double settleSeconds = 2.0;

    // What the stamp reads below the root: every folder holding a listed path and each of their
    // parents, once, a parent before what it holds, and every listed ".gitignore"; a listing adds the
    // folders it takes files from that hold none (UnlistedFolders). The names point into the lists
    // they were taken from.
    struct TreeEntries {
        std::vector<std::string_view> folders;
        std::vector<std::string_view> ignoreFiles;
        // How many of `folders` each of them holds directly, by its place there, and how many the root
        // holds; counted for the folders of listed paths only.
        std::vector<std::uint32_t> subfolders;
        std::uint32_t rootFolders = 0;
    };
    // What a stamp reads after the folders of its entries (before their ignore files), given those that
    // may hold folders the entries do not name: the root as "" and each whose link count says so.
    using MoreFolders =
        std::function<std::vector<std::string_view>(const std::vector<std::string_view>& roomy)>;

    // `listedSince`: when the list it stands beside began to be read (by the system clock, which dates
    // the files).
    static ProjectStateStamp take(const std::string& root, const PathList& paths,
                                  std::chrono::system_clock::time_point listedSince);
    // The same from the list's treeEntries, for a caller that needs them too; `more` adds folders
    // found from what the stat calls of the entries' folders showed, at no call more.
    static ProjectStateStamp take(const std::string& root, const TreeEntries& entries,
                                  std::chrono::system_clock::time_point listedSince,
                                  const MoreFolders& more = {});
    // The headValue of `root` as take would fold it now: a handful of stat calls.
    static std::uint64_t takeHead(const std::string& root);
    // What decides whether the project can be read at all, its repository included: the root folder
    // and the git directory its `.git` (or one above it) leads to, where that is, each one's identity
    // and whether it can be read. A handful of stat calls; nothing a commit or a new file changes.
    static std::uint64_t takeAccess(const std::string& root);
    static TreeEntries treeEntries(const PathList& paths);
    // The folders and files below their roots that take has read in this process: what the looks at
    // projects cost, for benchmarks and tests.
    static std::uint64_t entriesRead();

    std::uint64_t value = 0;
    // The part of `value` folded from git's files and the root folder alone, which no watch of the
    // tree below the root covers.
    std::uint64_t headValue = 0;
    // Whether the list can be taken to match the stamp: nothing it covers changed since settleSeconds
    // before the list began to be read, nor bears a time ahead of the clock.
    bool settled = false;
    // Unsettled only by times ahead of the clock (a tree unpacked from a machine whose clock ran
    // fast): a change made now would move them, so the same stamp taken before the list was read also
    // settles it.
    bool aheadOfClockOnly = false;
};

} // namespace korvane
