#include "providers/processinfo.h"

#include <algorithm>

namespace korvane {

std::vector<std::pair<std::int32_t, std::int32_t>>
ProcessInfo::walkDescendants(std::int32_t root, const std::map<std::int32_t, std::vector<std::int32_t>>& children,
                             std::int64_t maxDepth) {
    struct Walked {
        std::int32_t pid;
        std::int32_t parent;
        std::int64_t depth;
        std::int64_t order;
    };
    struct Queued {
        std::int32_t pid;
        std::int32_t parent;
        std::int64_t depth;
    };
    std::vector<Queued> queue;
    if (auto found = children.find(root); found != children.end()) {
        for (std::int32_t child : found->second) {
            queue.push_back({child, root, 1});
        }
    }
    std::vector<Walked> walked;
    for (std::size_t i = 0; i < queue.size(); ++i) {
        Queued entry = queue[i];
        walked.push_back({entry.pid, entry.parent, entry.depth, static_cast<std::int64_t>(i)});
        if (entry.depth < maxDepth) {
            if (auto found = children.find(entry.pid); found != children.end()) {
                for (std::int32_t child : found->second) {
                    queue.push_back({child, entry.pid, entry.depth + 1});
                }
            }
        }
    }
    std::sort(walked.begin(), walked.end(), [](const Walked& a, const Walked& b) {
        return a.depth != b.depth ? a.depth > b.depth : a.order < b.order;
    });
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    pairs.reserve(walked.size());
    for (const Walked& entry : walked) {
        pairs.emplace_back(entry.pid, entry.parent);
    }
    return pairs;
}

std::optional<std::map<std::int32_t, std::vector<std::int32_t>>>
ProcessInfo::childrenBelow(std::int32_t root, ProcessTable& table, std::int64_t maxDepth) {
    std::map<std::int32_t, std::vector<std::int32_t>> children;
    std::vector<std::int32_t> level{root};
    // The walk expands the processes above its last level only.
    for (std::int64_t depth = 0; depth < maxDepth && !level.empty(); ++depth) {
        std::vector<std::int32_t> next;
        for (std::int32_t pid : level) {
            auto listed = table.childProcesses(pid);
            if (!listed) {
                return std::nullopt;
            }
            next.insert(next.end(), listed->begin(), listed->end());
            children[pid] = std::move(*listed);
        }
        level = std::move(next);
    }
    return children;
}

std::vector<ProcessInfo::DescendantInfo> ProcessInfo::descendants(std::int32_t pid, ProcessTable& table) {
    return described(walkBelow(pid, table, maxDepth), table);
}

std::vector<ProcessInfo::DescendantInfo> ProcessInfo::processTree(std::int32_t pid, std::int32_t parent,
                                                                  ProcessTable& table, std::int64_t depth) {
    auto pairs = walkBelow(pid, table, depth);
    pairs.emplace_back(pid, parent);
    return described(pairs, table);
}

std::vector<std::pair<std::int32_t, std::int32_t>> ProcessInfo::walkBelow(std::int32_t pid, ProcessTable& table,
                                                                          std::int64_t depth) {
    auto children = childrenBelow(pid, table, depth);
    if (!children) {
        children = table.allProcessParents();
    }
    return walkDescendants(pid, *children, depth);
}

std::optional<std::string> ProcessInfo::folderOf(std::int32_t pid, ProcessTable& table) {
    std::optional<std::string> cwd = table.currentDirectory(pid);
    if (cwd && (cwd->empty() || *cwd == "/")) {
        cwd.reset();
    }
    return cwd;
}

std::vector<ProcessInfo::DescendantInfo>
ProcessInfo::described(const std::vector<std::pair<std::int32_t, std::int32_t>>& pairs, ProcessTable& table) {
    std::vector<DescendantInfo> infos;
    infos.reserve(pairs.size());
    for (auto [child, parent] : pairs) {
        std::optional<std::string> cwd = folderOf(child, table);
        auto status = table.status(child);
        infos.push_back({child, parent, status ? status->tty : std::nullopt, std::move(cwd),
                         status ? status->name : std::string(), status && status->inForeground()});
    }
    // What the user sees in a terminal is its foreground job: a job sent to the background or
    // stopped, however deep, must not speak for the terminal while the shell is in front.
    std::stable_partition(infos.begin(), infos.end(),
                          [](const DescendantInfo& info) { return info.foreground; });
    return infos;
}

} // namespace korvane
