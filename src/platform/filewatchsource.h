#pragma once

#include "base/expected.h"

#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace korvane {

// What can happen to a watched file or directory. A directory "write" means one of its entries
// was created, removed or renamed, not that a file inside it was written to.
enum class FileEvent : unsigned {
    none = 0,
    write = 1u << 0,
    remove = 1u << 1,
    rename = 1u << 2,
};

constexpr FileEvent operator|(FileEvent a, FileEvent b) {
    return static_cast<FileEvent>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

constexpr bool includes(FileEvent set, FileEvent event) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(event)) != 0;
}

// One change reported by a watch. `name` is the entry of a watched directory that the change
// concerns; it is empty when the change concerns the watched object itself, or when the system
// lost track of events and cannot say what changed.
struct FileWatchEvent {
    FileEvent kind = FileEvent::none;
    std::string name;

    bool operator==(const FileWatchEvent&) const = default;
};

// An open watch on one path. Destroying it (or calling cancel()) stops the events; after that its
// handler is never called again.
class FileWatch {
public:
    virtual ~FileWatch() = default;
    virtual void cancel() = 0;
};

// Notifies about changes to files and directories: a path is opened for events only (it can still
// be deleted or moved away) and its changes reach a handler on the main thread, in batches of the
// events that were pending. Opening, cancelling and handling happen on the main thread.
class FileWatchSource {
public:
    using Handler = std::function<void(const std::vector<FileWatchEvent>& events)>;

    virtual ~FileWatchSource() = default;

    // Starts watching `path` for the kinds in `mask`. Fails (with the system's error) when the path
    // does not exist or cannot be watched.
    virtual Expected<std::unique_ptr<FileWatch>, std::error_code> open(const std::string& path,
                                                                       FileEvent mask, Handler handler) = 0;
};

} // namespace korvane
