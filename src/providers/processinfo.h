#pragma once

#include "platform/processtable.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// The processes running below a terminal application, the jobs their terminals show first, deepest
// first, with their terminal devices and working directories, as the terminal's project detection
// needs them. Main thread.
class ProcessInfo {
public:
    ProcessInfo() = delete;

    struct DescendantInfo {
        std::int32_t pid = 0;
        std::int32_t parentPid = 0;
        std::optional<std::string> tty;
        std::optional<std::string> cwd;
        // The program's name as the system keeps it.
        std::string name;
        // Whether it belongs to the job its terminal shows.
        bool foreground = false;
        // Whether its folder was withheld because what the terminal shows there cannot be known (a
        // screen window): then the window's title, which names an older folder, does not speak either.
        bool folderHidden = false;

        bool operator==(const DescendantInfo&) const = default;
    };

    static constexpr std::int64_t maxDepth = 6;

    // Breadth-first below `root` down to `maxDepth` levels (the root's children are level 1); the
    // deepest processes first, one level in breadth-first order. Pairs of process and parent.
    static std::vector<std::pair<std::int32_t, std::int32_t>>
    walkDescendants(std::int32_t root, const std::map<std::int32_t, std::vector<std::int32_t>>& children,
                    std::int64_t maxDepth);

    // The children of every process the walk from `root` expands, read process by process: a few
    // dozen reads below a terminal however many processes the system runs. Absent when the table
    // cannot list one process's children.
    static std::optional<std::map<std::int32_t, std::vector<std::int32_t>>>
    childrenBelow(std::int32_t root, ProcessTable& table, std::int64_t maxDepth);

    // The walk below `pid`, each process with its device and directory; "/" and an empty directory
    // count as none. The processes of their terminals' foreground jobs come first, then the others,
    // each part in the walk's order. Reads only the processes below `pid` where the table can, else
    // the whole table.
    static std::vector<DescendantInfo> descendants(std::int32_t pid, ProcessTable& table);

    // `pid` itself, as a child of `parent`, and the walk below it down to `depth` levels, ordered as
    // `descendants`'.
    static std::vector<DescendantInfo> processTree(std::int32_t pid, std::int32_t parent, ProcessTable& table,
                                                   std::int64_t depth = maxDepth);

    // The working directory of `pid` as the walk records it: "/" and an empty one count as none.
    static std::optional<std::string> folderOf(std::int32_t pid, ProcessTable& table);

private:
    static std::vector<std::pair<std::int32_t, std::int32_t>> walkBelow(std::int32_t pid, ProcessTable& table,
                                                                        std::int64_t depth);
    static std::vector<DescendantInfo>
    described(const std::vector<std::pair<std::int32_t, std::int32_t>>& pairs, ProcessTable& table);
};

} // namespace korvane
