#include "platform/perprocesspath.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// As many links as the kernel follows in one path before it gives up.
constexpr int linkLimit = 40;

constexpr std::array<std::string_view, 6> perProcessNames = {"/proc",       "/dev/fd",     "/dev/stdin",
                                                             "/dev/stdout", "/dev/stderr", "/dev/tty"};

// Whether the absolute, link-free `path` is a per-process name or lies below one.
bool isPerProcess(const fs::path& path) {
    const std::string_view text = path.native();
    return std::any_of(perProcessNames.begin(), perProcessNames.end(), [&](std::string_view name) {
        return text.starts_with(name) && (text.size() == name.size() || text[name.size()] == '/');
    });
}

// Puts the names of `path` on `pending`, its first name on top.
void push(const fs::path& path, std::vector<std::string>& pending) {
    std::vector<std::string> names;
    for (const auto& name : path.relative_path()) {
        names.push_back(name.string());
    }
    pending.insert(pending.end(), names.rbegin(), names.rend());
}

std::optional<fs::path> linkTarget(const fs::path& link) {
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
        return std::nullopt;
    }
    return fs::path(std::string(buffer, static_cast<std::size_t>(length)));
}

std::string cannotFollow(const fs::path& at, int error) {
    return "cannot be followed at " + at.string() + ": " + std::strerror(error);
}

} // namespace

std::optional<std::string> PerProcessPath::whyNotOnePlace(const fs::path& path, const fs::path& from) {
    const fs::path start = path.is_absolute() ? path : from / path;
    if (!start.is_absolute()) {
        return "cannot be followed from " + from.string();
    }
    std::vector<std::string> pending;
    push(start, pending);
    // Where the names taken so far lead, no name of it a link (or one not there yet).
    fs::path at = "/";
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.back());
        pending.pop_back();
        if (name.empty() || name == ".") {
            continue;
        }
        if (name == "..") {
            at = at.parent_path();
            continue;
        }
        fs::path next = at / name;
        if (isPerProcess(next)) {
            return "leads through " + next.string() + ", which is another place for every program";
        }
        if (folders_.contains(next)) {
            at = std::move(next);
            continue;
        }
        struct stat status {};
        if (::lstat(next.c_str(), &status) != 0) {
            if (errno != ENOENT && errno != ENOTDIR) {
                return cannotFollow(next, errno);
            }
            // A name that does not exist yet is taken as a folder: what is made there later may lead
            // into a per-process name, and a ".." after it back to where links are followed again.
            at = std::move(next);
            continue;
        }
        if (!S_ISLNK(status.st_mode)) {
            if (S_ISDIR(status.st_mode)) {
                folders_.insert(next);
            }
            at = std::move(next);
            continue;
        }
        if (++links > linkLimit) {
            return cannotFollow(next, ELOOP);
        }
        errno = 0;
        const auto target = linkTarget(next);
        if (!target) {
            return cannotFollow(next, errno != 0 ? errno : ENAMETOOLONG);
        }
        if (target->is_absolute()) {
            at = "/";
        }
        push(*target, pending);
    }
    return std::nullopt;
}

} // namespace korvane
