#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The few questions project detection asks of the file system: whether something exists at a path,
// whether it is a directory, what a directory holds, and where users' home directories are. Paths
// are absolute; links are followed. Main thread.
class FileProbe {
public:
    virtual ~FileProbe() = default;

    virtual bool exists(const std::string& path) = 0;
    virtual bool isDirectory(const std::string& path) = 0;

    // The names in a directory, sorted by byte value, without "." and ".."; absent when it cannot
    // be listed.
    virtual std::optional<std::vector<std::string>> listDirectory(const std::string& path) = 0;

    // `path` with every link resolved, or `path` itself when it cannot be resolved.
    virtual std::string resolvedPath(const std::string& path) { return path; }

    // The current user's home directory, without a trailing "/".
    virtual std::string homeDirectory() = 0;

    // The home directory of the user `name`; absent for an unknown user.
    virtual std::optional<std::string> homeDirectory(const std::string& name) = 0;
};

} // namespace korvane
