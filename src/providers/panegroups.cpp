#include "providers/panegroups.h"

#include <algorithm>
#include <cstdint>

namespace korvane {

PaneGroups::PaneGroups(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    // Thousands of processes run on a few dozen devices: each device is named once, not copied per process.
    std::unordered_map<std::int32_t, const std::string*> deviceOf;
    deviceOf.reserve(processes.size());
    for (const auto& entry : processes) {
        if (entry.tty) {
            deviceOf[entry.pid] = &*entry.tty;
        }
    }
    std::map<std::string, std::string> parents;
    for (const auto& entry : processes) {
        if (!entry.tty) {
            continue;
        }
        auto parentDevice = deviceOf.find(entry.parentPid);
        if (parentDevice == deviceOf.end() || *parentDevice->second == *entry.tty) {
            continue;
        }
        std::string a = resolveMergedRoot(*parentDevice->second, parents);
        std::string b = resolveMergedRoot(*entry.tty, parents);
        if (a != b) {
            parents[a] = b;
        }
    }

    std::unordered_map<std::string, std::size_t> paneOfKey;
    for (const auto& entry : processes) {
        if (!entry.tty || paneOfDevice_.contains(*entry.tty)) {
            continue;
        }
        std::string key = resolveMergedRoot(*entry.tty, parents);
        auto [at, inserted] = paneOfKey.try_emplace(key, panes_.size());
        if (inserted) {
            panes_.push_back(Pane{std::move(key), {}});
        }
        panes_[at->second].devices.push_back(*entry.tty);
        paneOfDevice_[*entry.tty] = at->second;
    }
}

std::optional<std::size_t> PaneGroups::paneOf(const std::string& device) const {
    const auto found = paneOfDevice_.find(device);
    return found == paneOfDevice_.end() ? std::nullopt : std::optional(found->second);
}

std::string PaneGroups::resolveMergedRoot(const std::string& device,
                                          std::map<std::string, std::string>& parents) {
    auto entry = parents.try_emplace(device, device).first;
    std::string x = device;
    while (true) {
        const std::string& parent = entry->second;
        if (parent == x) {
            return x;
        }
        // Path halving: point x at its grandparent, then continue from there.
        std::string grandparent = parents.try_emplace(parent, parent).first->second;
        entry->second = grandparent;
        x = grandparent;
        entry = parents.try_emplace(x, x).first;
    }
}

} // namespace korvane
