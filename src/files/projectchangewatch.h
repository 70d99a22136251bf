#pragma once

#include "files/projectstatestamp.h"
#include "platform/treewatchsource.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace korvane {

// Chooses what of a project to watch so that a project whose watch saw nothing is known to have
// the state stamp it had, without a stat call per folder: the folders and ".gitignore" files the
// stamp reads below the root. Any thread.
class ProjectChangeWatch {
public:
    // The watches one project may take: a sixteenth of the user's, so that the five projects of the
    // file path provider leave over two thirds to the user's editors and file managers.
    static std::size_t watchLimit(const TreeWatchSource& source);

    // Watches the root and the `entries` ProjectStateStamp reads below it (a folder before what it
    // holds, so that one missing now is watched through the folder that would hold it); none when they
    // are more than `watchLimit` (by default the source's share) or any of them cannot be watched.
    static std::unique_ptr<TreeWatch> arm(TreeWatchSource& source, const std::string& root,
                                          const ProjectStateStamp::TreeEntries& entries,
                                          std::optional<std::size_t> watchLimit = std::nullopt);
};

} // namespace korvane
