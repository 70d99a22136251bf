#pragma once

#include "platform/treewatch.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace korvane {

// Puts many folders and files of one tree under a single TreeWatch, so that a tree in which nothing
// changed is known without a look at each of them. Any thread.
class TreeWatchSource {
public:
    virtual ~TreeWatchSource() = default;

    // How many watches all of the user's processes may hold together.
    virtual std::size_t userWatchLimit() const = 0;

    // Watches the folder `root` and, below it, `folders` and `files` (paths relative to the root, links
    // watched themselves, not what they lead to). A folder or file missing now is left out: what is made
    // in its place shows as an entry made in the folder that would hold it, when that is watched. None
    // when any other cannot be watched (the system's limits reached, a folder that cannot be read).
    virtual std::unique_ptr<TreeWatch> arm(const std::string& root, std::span<const std::string_view> folders,
                                           std::span<const std::string_view> files) = 0;
};

} // namespace korvane
