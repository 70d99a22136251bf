#include "files/projectchangewatch.h"

namespace korvane {

std::size_t ProjectChangeWatch::watchLimit(const TreeWatchSource& source) {
    return source.userWatchLimit() / 16;
}

std::unique_ptr<TreeWatch> ProjectChangeWatch::arm(TreeWatchSource& source, const std::string& root,
                                                   const ProjectStateStamp::TreeEntries& entries,
                                                   std::optional<std::size_t> watchLimit) {
    if (1 + entries.folders.size() + entries.ignoreFiles.size() >
        watchLimit.value_or(ProjectChangeWatch::watchLimit(source))) {
        return nullptr;
    }
    return source.arm(root, entries.folders, entries.ignoreFiles);
}

} // namespace korvane
