#include "providers/tabwalk.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace korvane {

// Read before the tab's processes are walked: a job that starts or ends meanwhile then reads changed at
// the trigger, never unchanged beside a walk that missed it.
std::int32_t TabWalk::foregroundGroupOf(std::int32_t pid, ProcessTable& table) {
    const auto status = table.status(pid);
    return status && status->tty ? status->foregroundGroup : -1;
}

// The children the walk listed, ascending as the table lists them.
std::vector<std::int32_t> TabWalk::childrenIn(std::int32_t pid,
                                              const std::vector<ProcessInfo::DescendantInfo>& processes) {
    std::vector<std::int32_t> children;
    for (const auto& entry : processes) {
        if (entry.parentPid == pid) {
            children.push_back(entry.pid);
        }
    }
    std::sort(children.begin(), children.end());
    return children;
}

TabWalk::Walked TabWalk::read(std::int32_t terminal, ProcessTable& table) {
    Walked walked;
    const auto pids = table.childProcesses(terminal);
    for (std::int32_t pid : pids.value_or(std::vector<std::int32_t>())) {
        walked.tabs.push_back(Tab{pid, foregroundGroupOf(pid, table), {}});
    }
    walked.terminal = pids ? terminal : 0;
    walked.processes = ProcessInfo::descendants(terminal, table);
    for (Tab& tab : walked.tabs) {
        tab.children = childrenIn(tab.pid, walked.processes);
    }
    walked.spare = walked.processes;
    return walked;
}

TabWalk::Walked TabWalk::keep(Walked walked, std::uint64_t inputs) {
    inputs_ = inputs;
    return std::exchange(kept_, std::move(walked));
}

// A job started or ended, brought forward or sent back moves its terminal's foreground job; a tab
// without a terminal of its own is read by its children.
bool TabWalk::unchanged(const Tab& tab, ProcessTable& table) {
    if (tab.foregroundGroup > 0) {
        const auto status = table.status(tab.pid);
        return status && status->tty && status->foregroundGroup == tab.foregroundGroup;
    }
    return table.childProcesses(tab.pid) == tab.children;
}

std::vector<std::int32_t> TabWalk::pidsOf(const std::vector<Tab>& tabs) {
    std::vector<std::int32_t> pids;
    pids.reserve(tabs.size());
    for (const Tab& tab : tabs) {
        pids.push_back(tab.pid);
    }
    return pids;
}

// A program started by the job (an editor's `:!git commit` opening another editor) changes neither the
// terminal's foreground job nor the shell's children.
bool TabWalk::unchangedWithJob(const Tab& tab, const Walked& walked, ProcessTable& table) {
    if (foregroundGroupOf(tab.pid, table) != tab.foregroundGroup ||
        table.childProcesses(tab.pid) != tab.children) {
        return false;
    }
    const std::int32_t leader = tab.foregroundGroup;
    return leader < 1 || leader == tab.pid ||
           table.childProcesses(leader) == childrenIn(leader, walked.processes);
}

TabWalk::Walked TabWalk::readAgain(Walked before, std::int32_t terminal, ProcessTable& table) {
    if (terminal < 1 || before.terminal != terminal ||
        table.childProcesses(terminal) != pidsOf(before.tabs)) {
        auto walked = read(terminal, table);
        walked.spare.clear();
        return walked;
    }
    std::unordered_set<std::int32_t> reread;
    for (Tab& tab : before.tabs) {
        if (unchangedWithJob(tab, before, table)) {
            reread.insert({tab.pid, tab.foregroundGroup});
            continue;
        }
        tab.foregroundGroup = foregroundGroupOf(tab.pid, table);
        walkAgain(before, tab, table);
    }
    for (auto& entry : before.processes) {
        if (reread.contains(entry.pid)) {
            entry.cwd = ProcessInfo::folderOf(entry.pid, table);
        }
    }
    return before;
}

void TabWalk::walkAgain(Walked& walked, Tab& tab, ProcessTable& table) {
    std::unordered_map<std::int32_t, std::vector<std::int32_t>> children;
    for (const auto& entry : walked.processes) {
        children[entry.parentPid].push_back(entry.pid);
    }
    std::unordered_set<std::int32_t> gone{tab.pid};
    std::vector<std::int32_t> level{tab.pid};
    while (!level.empty()) {
        std::vector<std::int32_t> next;
        for (std::int32_t pid : level) {
            for (std::int32_t child : children[pid]) {
                if (gone.insert(child).second) {
                    next.push_back(child);
                }
            }
        }
        level = std::move(next);
    }
    std::erase_if(walked.processes, [&](const auto& entry) { return gone.contains(entry.pid); });
    // The tab is the walk's first level, so its own walk goes one level less deep.
    auto fresh = ProcessInfo::processTree(tab.pid, walked.terminal, table, ProcessInfo::maxDepth - 1);
    tab.children = childrenIn(tab.pid, fresh);
    walked.processes.insert(walked.processes.end(), std::make_move_iterator(fresh.begin()),
                            std::make_move_iterator(fresh.end()));
    std::stable_partition(walked.processes.begin(), walked.processes.end(),
                          [](const auto& entry) { return entry.foreground; });
}

std::vector<ProcessInfo::DescendantInfo> TabWalk::processes(std::int32_t terminal, std::uint64_t inputs,
                                                            ProcessTable& table) {
    // A tab opened or closed since is read by a new walk, as is everything after an input.
    if (terminal < 1 || kept_.terminal != terminal || inputs_ != inputs ||
        table.childProcesses(terminal) != pidsOf(kept_.tabs)) {
        keep(read(terminal, table), inputs);
        return std::exchange(kept_.spare, {});
    }
    for (Tab& tab : kept_.tabs) {
        if (unchanged(tab, table)) {
            continue;
        }
        kept_.spare.clear();
        tab.foregroundGroup = foregroundGroupOf(tab.pid, table);
        walkAgain(kept_, tab, table);
    }
    if (!kept_.spare.empty()) {
        return std::exchange(kept_.spare, {});
    }
    return kept_.processes;
}

void TabWalk::readFoldersAgain(std::vector<ProcessInfo::DescendantInfo>& processes, ProcessTable& table) {
    for (auto& entry : processes) {
        entry.cwd = ProcessInfo::folderOf(entry.pid, table);
    }
}

} // namespace korvane
