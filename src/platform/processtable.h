#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// What the system keeps of one process's name and its place among its terminal's jobs.
struct ProcessStatus {
    // The program's name as the system keeps it, at most 15 bytes (tmux names its client "tmux: client").
    std::string name;
    // The controlling terminal's device name below "/dev/" (such as "pts/3"); absent without one.
    std::optional<std::string> tty;
    std::int32_t processGroup = 0;
    // The foreground process group of the controlling terminal; -1 without a terminal or group.
    std::int32_t foregroundGroup = -1;

    // Whether the process belongs to the job its terminal shows, the one that gets the typed keys.
    bool inForeground() const { return foregroundGroup > 0 && processGroup == foregroundGroup; }
    bool operator==(const ProcessStatus&) const = default;
};

// How much a process has read since it started, from any file, pipe or terminal.
struct ProcessReads {
    // Read calls made.
    std::uint64_t calls = 0;
    // Bytes those calls returned.
    std::uint64_t bytes = 0;

    bool operator==(const ProcessReads&) const = default;
};

// A file by the device and inode that hold it: the same file whatever path leads to it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The process that listens on a unix socket and its user, as the system recorded them when it began
// to listen.
struct SocketListener {
    std::int32_t pid = 0;
    std::uint32_t uid = 0;

    bool operator==(const SocketListener&) const = default;
};

// The system's table of processes as project detection reads it: who started whom, each process's
// name, controlling terminal, job, working directory, arguments, environment and reads so far, the file
// it runs and the mounts it sees, who listens on a socket, and when a terminal device was last read. A
// process or device the system will not describe is simply absent. Main thread, and the background reading of
// a terminal's tabs where the table is safe to share (ProcProcessTable is).
class ProcessTable {
public:
    virtual ~ProcessTable() = default;

    // Every listed process filed under its parent's id; children in table order (ascending ids).
    virtual std::map<std::int32_t, std::vector<std::int32_t>> allProcessParents() = 0;

    // The children of `pid` alone, ascending, read without listing the whole table; empty for a
    // process that has ended. Absent when this table can only list whole (allProcessParents).
    virtual std::optional<std::vector<std::int32_t>> childProcesses(std::int32_t /*pid*/) {
        return std::nullopt;
    }

    // The process's name, terminal and job; absent for a process that has ended.
    virtual std::optional<ProcessStatus> status(std::int32_t pid) = 0;

    // The working directory; absent when it cannot be read or no longer exists.
    virtual std::optional<std::string> currentDirectory(std::int32_t pid) = 0;

    // The arguments the process was started with (or has since set), program name first; absent
    // when they cannot be read, or are longer than this table reads.
    virtual std::optional<std::vector<std::string>> commandLine(std::int32_t pid) = 0;

    // The environment the process was started with, "NAME=value" entries; absent when it cannot be
    // read, as for another user's process, or is longer than this table reads.
    virtual std::optional<std::vector<std::string>> environment(std::int32_t pid) = 0;

    // The value of `name` in `environment` (as environment() lists it), the first where it repeats.
    static std::optional<std::string> variable(const std::vector<std::string>& environment,
                                               std::string_view name) {
        for (const std::string& entry : environment) {
            if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
                return entry.substr(name.size() + 1);
            }
        }
        return std::nullopt;
    }

    // The file the process runs, also once that file was replaced or deleted; absent when it cannot be
    // read, as for another user's process, or where this table cannot tell.
    virtual std::optional<FileIdentity> executable(std::int32_t /*pid*/) { return std::nullopt; }

    // The mount namespace through which the process sees files: two processes in one namespace reach
    // the same file by the same path. Absent when it cannot be read or this table cannot tell.
    virtual std::optional<FileIdentity> mountNamespace(std::int32_t /*pid*/) { return std::nullopt; }

    // Who listens on the unix socket at `path`, asked of the system through a connection that is closed
    // again at once, without a word sent and without waiting for the listener; absent where nothing
    // listens, the connection is refused or this table cannot tell.
    virtual std::optional<SocketListener> socketListener(const std::string& /*path*/) { return std::nullopt; }

    // What the process holds open, one entry per descriptor as the system names it ("/dev/pts/3",
    // "socket:[1234]"); absent when it cannot be read, as for another user's process.
    virtual std::optional<std::vector<std::string>> openFiles(std::int32_t /*pid*/) { return std::nullopt; }

    // The reads its main thread made so far, not those of the children it reaped; absent when they
    // cannot be read, as for another user's process, or when this table cannot tell.
    virtual std::optional<ProcessReads> reads(std::int32_t /*pid*/) { return std::nullopt; }

    // The last access time of the device file "/dev/" + `ttyName`.
    virtual std::optional<std::chrono::system_clock::time_point> deviceAccessTime(const std::string& ttyName) = 0;
};

} // namespace korvane
