#pragma once

#include "platform/processtable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// A program Korvane would run by its name, the first on a search path, as it is on disk now; and
// whether another process runs that very file and sees the files as Korvane does. Main thread; the
// static search on any.
class ProgramOnPath {
public:
    // The program found: its path and its file.
    struct Found {
        std::string path;
        FileIdentity file;
    };

    // `name` is looked for in the absolute entries of `searchPath` (a PATH value).
    ProgramOnPath(std::string name, std::string searchPath);

    // Korvane's own PATH, or the usual folders without one.
    static std::string korvaneSearchPath();

    // The first executable file named `name` in the absolute entries of `searchPath`.
    static std::optional<std::string> firstOnPath(std::string_view name, std::string_view searchPath);

    // The program now: its file is looked at each time, since an update replaces it and the processes
    // started before run the old one. Absent where no executable file of that name is on the path.
    std::optional<Found> find();

    // Whether `pid` runs `program`'s file and sees the files through Korvane's mounts.
    static bool runsHere(ProcessTable& table, std::int32_t pid, const Found& program);

private:
    std::string name_;
    std::string searchPath_;
    std::optional<std::string> path_;
};

} // namespace korvane
