#include "providers/keyreaders.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace korvane {

void KeyReaders::learn(const Reads& before, const Reads& after, const std::vector<std::int32_t>& running) {
    std::vector<std::int32_t> moved;
    auto then = before.begin();
    for (const auto& [pid, now] : after) {
        while (then != before.end() && then->first < pid) {
            ++then;
        }
        if (then != before.end() && then->first == pid && now.calls > then->second.calls) {
            moved.push_back(pid);
        }
    }
    std::vector<std::int32_t> alive;
    std::set_intersection(seenReading_.begin(), seenReading_.end(), running.begin(), running.end(),
                          std::back_inserter(alive));
    seenReading_.clear();
    std::set_union(alive.begin(), alive.end(), moved.begin(), moved.end(), std::back_inserter(seenReading_));
}

bool KeyReaders::seenReading(std::int32_t pid) const {
    return std::binary_search(seenReading_.begin(), seenReading_.end(), pid);
}

std::vector<std::int32_t> KeyReaders::choose(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                             const PaneGroups& groups,
                                             const std::vector<std::int32_t>& runningAtBaseline) const {
    std::vector<std::vector<const ProcessInfo::DescendantInfo*>> jobs(groups.panes().size());
    for (std::size_t i = 0; i < processes.size(); ++i) {
        if (processes[i].foreground && processes[i].tty) {
            jobs[*groups.paneAt(i)].push_back(&processes[i]);
        }
    }
    std::vector<std::int32_t> chosen;
    for (const auto& job : jobs) {
        if (job.size() <= maxPerPane) {
            for (const auto* entry : job) {
                chosen.push_back(entry->pid);
            }
            continue;
        }
        std::vector<std::int32_t> members;
        members.reserve(job.size());
        for (const auto* entry : job) {
            members.push_back(entry->pid);
        }
        std::sort(members.begin(), members.end());
        // The job's first processes (its leader reads the keys, as an editor or a pager does), then
        // those seen reading.
        std::vector<std::int32_t> picked;
        bool anySeen = false;
        // Siblings are listed together: their parent is looked for once.
        std::optional<std::int32_t> parent;
        bool parentOutside = false;
        for (const auto* entry : job) {
            if (parent != entry->parentPid) {
                parent = entry->parentPid;
                parentOutside = !std::binary_search(members.begin(), members.end(), *parent);
            }
            const bool seen = seenReading(entry->pid);
            anySeen = anySeen || seen;
            if (parentOutside || seen) {
                picked.push_back(entry->pid);
            }
            if (picked.size() > maxPerPane) {
                return {};
            }
        }
        const bool allStartedSince =
            !runningAtBaseline.empty() && std::none_of(members.begin(), members.end(), [&](std::int32_t pid) {
                return std::binary_search(runningAtBaseline.begin(), runningAtBaseline.end(), pid);
            });
        if (!anySeen && !allStartedSince) {
            return {};
        }
        chosen.insert(chosen.end(), picked.begin(), picked.end());
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

} // namespace korvane
