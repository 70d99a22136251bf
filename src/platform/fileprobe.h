#pragma once

#include "base/pathstamp.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The few questions project detection asks of the file system: whether something exists at a path,
// whether it is a directory, what a directory holds, when a directory's names last changed, and where
// users' home directories are. Paths are absolute; links are followed unless said. Main thread.
class FileProbe {
public:
    virtual ~FileProbe() = default;

    virtual bool exists(const std::string& path) = 0;
    // Whether a name is at `path`, a link counted wherever it leads, also nowhere.
    virtual bool entryExists(const std::string& path) = 0;
    virtual bool isDirectory(const std::string& path) = 0;

    // The stamp of the directory at `path`: a name made, removed or renamed there, or the directory
    // replaced by another, gives another. Absent when it cannot be read, or when the directory changed so
    // lately that a change still to come could leave the same stamp.
    virtual std::optional<PathStamp> changeStamp(const std::string& path) = 0;

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
