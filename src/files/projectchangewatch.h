#pragma once

#include "files/pathlist.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

namespace korvane {

// Watches, through an inotify instance of its own, the folders and ".gitignore" files that a project's
// state stamp reads below its root, so that a project where none of them changed is known without a
// stat call per folder. The events wait in the kernel until asked for. Any thread.
class ProjectChangeWatch {
public:
    // The watches one project may take: a sixteenth of the user's inotify watches, so that the five
    // projects of the file path provider leave over two thirds to the user's editors and file managers.
    static std::size_t defaultWatchLimit();

    // Watches the root, every folder ProjectStateStamp reads for `paths` (a folder before what it holds,
    // so that one missing now is watched through the folder that would hold it) and every listed
    // ".gitignore"; none when any of them cannot be watched (no inotify instance left, the user's limit
    // or `watchLimit` reached, a folder that cannot be read).
    static std::unique_ptr<ProjectChangeWatch> arm(const std::string& root, const PathList& paths,
                                                   std::size_t watchLimit = defaultWatchLimit());
    ~ProjectChangeWatch();
    ProjectChangeWatch(const ProjectChangeWatch&) = delete;
    ProjectChangeWatch& operator=(const ProjectChangeWatch&) = delete;

    // Whether what is watched may have changed since it was armed: an entry of a watched folder made,
    // removed or renamed, a watched folder or file changed itself, or events lost to a full queue.
    // Once true it stays true, and the watches are dropped.
    bool changed();

private:
    explicit ProjectChangeWatch(int fd);
    void drop();

    std::mutex lock_;
    int fd_;
};

} // namespace korvane
