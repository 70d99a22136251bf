#pragma once

#include "base/expected.h"
#include "platform/linux/uniquefd.h"

#include <filesystem>
#include <string>

namespace korvane {

// Makes sure only one Korvane runs per user and session: an exclusive flock on a lock file, held as
// long as the object lives (and released by the system when the process ends however it ends).
// Move-only; any thread.
class InstanceLock {
public:
    // Why the lock could not be had, with the lock file and the system's reason.
    struct Error {
        enum Kind {
            // Another Korvane process holds it.
            heldByAnother,
            // The lock file could not be opened or created (or is a symbolic link, or someone else's),
            // or locking failed.
            unavailable,
        };
        Kind kind = unavailable;
        std::string description;

        friend bool operator==(const Error& error, Kind kind) { return error.kind == kind; }
    };

    // $XDG_RUNTIME_DIR/korvane.lock when that variable names an absolute path, else
    // /tmp/korvane-<uid>.lock.
    static std::filesystem::path defaultFile();

    // Takes the lock on `file` without waiting, creating the file (mode 0600) when missing. A symbolic
    // link in place of the file is refused, so nobody can point the lock at another file.
    static Expected<InstanceLock, Error> acquire(const std::filesystem::path& file = defaultFile());

    static std::string describe(const Error& error) { return error.description; }

    InstanceLock(InstanceLock&&) noexcept = default;
    InstanceLock& operator=(InstanceLock&&) noexcept = default;

private:
    explicit InstanceLock(UniqueFd fd)
        : fd_(std::move(fd)) {}

    UniqueFd fd_;
};

} // namespace korvane
