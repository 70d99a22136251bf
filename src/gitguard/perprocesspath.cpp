#include "gitguard/perprocesspath.h"

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

// As many links as the kernel follows in one path before it gives up.
constexpr int linkLimit = 40;

constexpr std::array<std::string_view, 6> perProcessNames = {"/proc",       "/dev/fd",     "/dev/stdin",
                                                             "/dev/stdout", "/dev/stderr", "/dev/tty"};

// Whether the absolute, link-free `path` is a per-process name or lies below one.
bool isPerProcess(std::string_view path) {
    return std::any_of(perProcessNames.begin(), perProcessNames.end(), [&](std::string_view name) {
        return path.starts_with(name) && (path.size() == name.size() || path[name.size()] == '/');
    });
}

// Puts the names of `path` on `pending`, its first name on top.
void push(std::string_view path, std::vector<std::string>& pending) {
    const std::size_t first = pending.size();
    while (!path.empty()) {
        const std::size_t slash = std::min(path.find('/'), path.size());
        if (slash > 0) {
            pending.emplace_back(path.substr(0, slash));
        }
        path.remove_prefix(std::min(slash + 1, path.size()));
    }
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
}

std::optional<std::string> linkTarget(const std::string& link) {
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string cannotFollow(const std::string& at, int error) {
    return "cannot be followed at " + at + ": " + std::strerror(error);
}

void up(std::string& at) {
    at.erase(std::max<std::size_t>(at.rfind('/'), 1));
}

} // namespace

std::optional<std::string> PerProcessPath::whyNotOnePlace(const std::filesystem::path& path,
                                                          const std::filesystem::path& from,
                                                          const NameCheck& check) {
    const std::string& text = path.native();
    if (!text.starts_with('/') && !from.native().starts_with('/')) {
        return "cannot be followed from " + from.native();
    }
    std::vector<std::string> pending;
    push(text, pending);
    if (!text.starts_with('/')) {
        push(from.native(), pending);
    }
    // Where the names taken so far lead, no name of it a link (or one not there yet).
    std::string at = "/";
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.back());
        pending.pop_back();
        if (name == ".") {
            continue;
        }
        if (name == "..") {
            up(at);
            continue;
        }
        std::string next = at.size() > 1 ? at + "/" + name : "/" + name;
        if (isPerProcess(next)) {
            return "leads through " + next + ", which is another place for every program";
        }
        if (check) {
            if (auto why = check(next)) {
                return why;
            }
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
        if (target->starts_with('/')) {
            at.resize(1);
        }
        push(*target, pending);
    }
    return std::nullopt;
}

} // namespace korvane
