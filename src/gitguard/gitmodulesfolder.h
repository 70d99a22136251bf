#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The folders a modules folder of a repository keeps submodules' git directories in, nested names
// included, as candidates for git to read: a folder holding a HEAD is one, any other is looked into.
// git follows a link there to wherever it leads, so a link fails the look. Lives for one reading, on
// the thread that reads.
class GitModulesFolder {
public:
    // `stillInTime` is asked between entries; false ends the look (its caller says why).
    explicit GitModulesFolder(std::function<bool()> stillInTime);

    // Adds the candidates under `folder` (which may not exist) to `found`; the reason, when the look
    // failed.
    std::optional<std::string> collect(const std::filesystem::path& folder,
                                       std::vector<std::filesystem::path>& found);

private:
    std::function<bool()> stillInTime_;
    // Folders looked at across every call, bounded so that no folder makes a command wait long.
    std::size_t folders_ = 0;
};

} // namespace korvane
