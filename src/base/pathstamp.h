#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace korvane {

// What a path is on disk, as far as a change to it shows: the device, inode, type and permissions,
// owner, size, and modification and change times to the nanosecond, of the entry itself and of what it
// leads to when it is a link; or that it is missing. Writing, replacing, renaming over, chmod or chown
// all move the change time, which no program can set back. A value; any thread.
struct PathStamp {
    struct Entry {
        // errno of the stat call, or 0 when it succeeded.
        int error = 0;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint32_t mode = 0;
        std::uint32_t owner = 0;
        std::int64_t size = 0;
        std::int64_t modified = 0;
        std::int64_t changed = 0;

        bool operator==(const Entry&) const = default;
    };

    static PathStamp of(const std::string& path);

    Entry link;
    Entry target;

    // Whether the path is still the same entry with the same type, permissions and owner, whatever
    // was written into it since.
    bool sameIdentity(const PathStamp& other) const;
    // Whether the path changed at `since` or later, or bears a time after `now`, by its times.
    bool changedSince(std::chrono::system_clock::time_point since,
                      std::chrono::system_clock::time_point now) const;

    bool operator==(const PathStamp&) const = default;
};

} // namespace korvane
