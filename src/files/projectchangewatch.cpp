#include "files/projectchangewatch.h"

#include "files/projectstatestamp.h"

namespace korvane {

std::size_t ProjectChangeWatch::watchLimit(const TreeWatchSource& source) {
    return source.userWatchLimit() / 16;
}

std::unique_ptr<TreeWatch> ProjectChangeWatch::arm(TreeWatchSource& source, const std::string& root,
                                                   const PathList& paths,
                                                   std::optional<std::size_t> watchLimit) {
    const ProjectStateStamp::TreeEntries entries = ProjectStateStamp::treeEntries(paths);
    if (1 + entries.folders.size() + entries.ignoreFiles.size() >
        watchLimit.value_or(ProjectChangeWatch::watchLimit(source))) {
        return nullptr;
    }
    return source.arm(root, entries.folders, entries.ignoreFiles);
}

} // namespace korvane
