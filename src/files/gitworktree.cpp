#include "files/gitworktree.h"

#include "base/fileio.h"
#include "gitguard/pathinfolder.h"

#include <filesystem>
#include <system_error>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// A linked worktree's repository folder names the worktree's ".git" file in a line of its own.
constexpr std::size_t backLinkLimit = 4096;

std::optional<fs::path> resolved(const fs::path& path) {
    std::error_code error;
    fs::path result = fs::weakly_canonical(path, error);
    if (error || !result.is_absolute()) {
        return std::nullopt;
    }
    return result;
}

// Whether the repository folder `gitDir` is a linked worktree's whose ".git" file is `gitFile`.
bool linksBackTo(const fs::path& gitDir, const fs::path& gitFile) {
    auto text = readTextFile(gitDir / "gitdir", backLinkLimit);
    if (!text) {
        return false;
    }
    while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) {
        text->pop_back();
    }
    return !text->empty() && resolved(*text) == gitFile;
}

} // namespace

std::vector<std::string> GitWorkTree::probeArguments() {
    return {"rev-parse", "--show-toplevel", "--absolute-git-dir"};
}

std::vector<std::string> GitWorkTree::configuredWorkTreeArguments() {
    return {"config", "--local", "--get", "core.worktree"};
}

bool GitWorkTree::holds(const std::string& directory, const std::vector<std::string>& shown,
                        const std::function<std::optional<std::string>()>& configuredWorkTree) {
    if (shown.size() != 2) {
        return false;
    }
    const auto inside = resolved(directory);
    const auto top = resolved(shown[0]);
    const auto gitDir = resolved(shown[1]);
    if (!inside || !top || !gitDir || !PathInFolder::inside(inside->native(), top->native())) {
        return false;
    }
    // Not resolved: a ".git" that is a link to another folder's repository is not this tree's own.
    const fs::path gitFile = *top / ".git";
    if (*gitDir == gitFile || linksBackTo(*gitDir, gitFile)) {
        return true;
    }
    // A submodule's repository lives in its parent's ".git" and names its work tree itself.
    const auto configured = configuredWorkTree ? configuredWorkTree() : std::nullopt;
    return configured && !configured->empty() && resolved(*gitDir / *configured) == top;
}

} // namespace korvane
