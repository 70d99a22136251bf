#include "platform/linux/localfileprobe.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {

namespace {

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// A path from a window title may hold a zero byte; the system call would test a shorter path.
bool statPath(const std::string& path, struct stat& info) {
    return !path.empty() && path.find('\0') == std::string::npos && ::stat(path.c_str(), &info) == 0;
}

// A file system stamps a change with its coarse clock, whose tick is at most 10 ms, or in whole seconds
// (two on FAT): a time that recent may be the one the next change in the same tick is given too.
constexpr auto kTickMargin = std::chrono::milliseconds(50);
constexpr auto kWholeSecondsMargin = std::chrono::seconds(3);

bool inWholeSeconds(const PathStamp::Entry& entry) {
    return entry.modified % 1'000'000'000 == 0 || entry.changed % 1'000'000'000 == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace


bool LocalFileProbe::exists(const std::string& path) {
    struct stat info{};
    return statPath(path, info);
}

bool LocalFileProbe::entryExists(const std::string& path) {
    struct stat info{};
    return !path.empty() && path.find('\0') == std::string::npos && ::lstat(path.c_str(), &info) == 0;
}

std::string LocalFileProbe::resolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

bool LocalFileProbe::isDirectory(const std::string& path) {
    struct stat info{};
    return statPath(path, info) && S_ISDIR(info.st_mode);
}

std::optional<PathStamp> LocalFileProbe::changeStamp(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    PathStamp stamp = PathStamp::of(path);
    if (stamp.target.error != 0 || !S_ISDIR(stamp.target.mode)) {
        return std::nullopt;
    }
    const auto now = std::chrono::system_clock::now();
    const bool wholeSeconds = inWholeSeconds(stamp.link) || inWholeSeconds(stamp.target);
    if (stamp.changedSince(now - (wholeSeconds ? std::chrono::nanoseconds(kWholeSecondsMargin) : kTickMargin),
                           now)) {
        return std::nullopt;
    }
    return stamp;
}

std::optional<std::vector<std::string>> LocalFileProbe::listDirectory(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
    if (!dir) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    // The file system's own order is a hash order on most Linux file systems.
    std::sort(names.begin(), names.end());
    return names;
}

std::string LocalFileProbe::homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return withoutTrailingSlash(home);
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr) {
        return withoutTrailingSlash(result->pw_dir);
    }
    return {};
}

std::optional<std::string> LocalFileProbe::homeDirectory(const std::string& name) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &result) != 0 || result == nullptr ||
        result->pw_dir == nullptr || *result->pw_dir == '\0') {
        return std::nullopt;
    }
    return withoutTrailingSlash(result->pw_dir);
}

} // namespace korvane
