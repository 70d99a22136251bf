#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// What the detail panel reads of a file without opening it: its size and its modification date to
// the nanosecond, after following symbolic links or of the link itself. A plain value; read on any
// thread.
struct FileAttributes {
    std::uint64_t size = 0;
    std::chrono::system_clock::time_point modified;
    bool isRegular = false;

    bool operator==(const FileAttributes&) const = default;

    // The attributes of `path`, or none when it cannot be inspected (missing, no permission, a
    // dangling link).
    static std::optional<FileAttributes> read(const std::string& path);
    // The attributes of `path` itself: of a symbolic link, the link's own.
    static std::optional<FileAttributes> readWithoutFollowing(const std::string& path);
};

} // namespace korvane
