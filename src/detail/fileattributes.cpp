#include "detail/fileattributes.h"

#include <sys/stat.h>

namespace korvane {

namespace {

std::optional<FileAttributes> attributesOf(const struct stat& info) {
    if (info.st_size < 0) {
        return std::nullopt;
    }
    // Whole nanoseconds: two writes within one millisecond that keep the size still differ.
    const auto sinceEpoch =
        std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
    return FileAttributes{static_cast<std::uint64_t>(info.st_size),
                          std::chrono::system_clock::time_point(
                              std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch)),
                          S_ISREG(info.st_mode)};
}

} // namespace

std::optional<FileAttributes> FileAttributes::read(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return attributesOf(info);
}

std::optional<FileAttributes> FileAttributes::readWithoutFollowing(const std::string& path) {
    struct stat info {};
    if (path.empty() || ::lstat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return attributesOf(info);
}

} // namespace korvane
