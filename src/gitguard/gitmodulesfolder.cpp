#include "gitguard/gitmodulesfolder.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

// Past this a folder fails the reading rather than make every command wait.
constexpr std::size_t folderLimit = 4096;

} // namespace

GitModulesFolder::GitModulesFolder(std::function<bool()> stillInTime)
    : stillInTime_(std::move(stillInTime)) {}

std::optional<std::string> GitModulesFolder::collect(const fs::path& folder, std::vector<fs::path>& found) {
    std::error_code error;
    const auto status = fs::symlink_status(folder, error);
    if (fs::is_symlink(status)) {
        return folder.string() + " is a link";
    }
    if (!fs::is_directory(status)) {
        return std::nullopt;
    }
    std::vector<fs::path> pending{folder};
    while (!pending.empty()) {
        const fs::path current = pending.back();
        pending.pop_back();
        fs::directory_iterator it(current, error);
        for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
            if (!stillInTime_()) {
                return "the configuration could not be read in time";
            }
            const auto type = it->symlink_status(error).type();
            if (type == fs::file_type::symlink) {
                return it->path().string() + " is a link";
            }
            if (type != fs::file_type::directory) {
                continue;
            }
            if (++folders_ > folderLimit) {
                return "too many submodule folders under " + folder.string();
            }
            if (fs::exists(fs::symlink_status(it->path() / "HEAD", error))) {
                found.push_back(it->path());
            } else {
                pending.push_back(it->path());
            }
        }
        if (error) {
            return "the folder " + current.string() + " could not be read";
        }
    }
    return std::nullopt;
}

} // namespace korvane
