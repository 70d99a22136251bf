#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The system's table of processes as project detection reads it: who started whom, each process's
// controlling terminal and working directory, and when a terminal device was last read. A process
// or device the system will not describe is simply absent. Main thread.
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

    // The controlling terminal's device name below "/dev/" (such as "pts/3"); absent without one.
    virtual std::optional<std::string> ttyName(std::int32_t pid) = 0;

    // The working directory; absent when it cannot be read or no longer exists.
    virtual std::optional<std::string> currentDirectory(std::int32_t pid) = 0;

    // The last access time of the device file "/dev/" + `ttyName`.
    virtual std::optional<std::chrono::system_clock::time_point> deviceAccessTime(const std::string& ttyName) = 0;
};

} // namespace korvane
