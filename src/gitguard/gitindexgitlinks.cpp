#include "gitguard/gitindexgitlinks.h"

#include "base/fileio.h"
#include "gitguard/gitrepositorytexts.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

namespace fs = std::filesystem;

std::optional<bool> GitIndexGitlinks::mayHold(const fs::path& index, const fs::path& gitDir,
                                              const std::function<bool()>& expired) {
    const auto late = [&expired] { return expired && expired(); };
    std::vector<fs::path> files{index};
    std::error_code error;
    for (fs::directory_iterator it(gitDir, error), end; !error && it != end; it.increment(error)) {
        if (late()) {
            return std::nullopt;
        }
        if (it->path().filename().string().starts_with("sharedindex.")) {
            files.push_back(it->path());
        }
    }
    for (const auto& file : files) {
        if (!fs::exists(fs::symlink_status(file, error))) {
            continue;
        }
        bool found = false;
        bool ranOut = false;
        // The last bytes of the block before and the first of this one, for a mode across the two.
        std::string seam;
        const auto read = scanRegularFile(file, [&](std::string_view block) {
            if (late()) {
                ranOut = true;
                return false;
            }
            const std::size_t keep = GitRepositoryTexts::gitlinkMode.size() - 1;
            seam.append(block.substr(0, keep));
            found = GitRepositoryTexts::holdsGitlinkMode(seam) || GitRepositoryTexts::holdsGitlinkMode(block);
            seam.assign(block.substr(block.size() - std::min(block.size(), keep)));
            return !found;
        });
        if (ranOut) {
            return std::nullopt;
        }
        if (found || !read) {
            return true;
        }
    }
    return false;
}

} // namespace korvane
