#include "providers/panegroups.h"

#include <algorithm>
#include <bitset>
#include <numeric>
#include <string_view>

namespace korvane {

namespace {

// No device, no pane.
constexpr std::size_t none = static_cast<std::size_t>(-1);

// The processes' devices as numbers, in the order the processes first name them: a busy terminal's
// thousands of processes run on a few dozen devices, so each run of processes on one device looks its
// name up once.
struct NumberedDevices {
    // By the processes' order; `none` for a process without a device.
    std::vector<std::size_t> at;
    // By number.
    std::vector<const std::string*> names;
};

NumberedDevices numbered(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    NumberedDevices devices;
    devices.at.assign(processes.size(), none);
    std::unordered_map<std::string_view, std::size_t> numbers;
    const std::string* last = nullptr;
    std::size_t lastNumber = none;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const auto& tty = processes[i].tty;
        if (!tty) {
            continue;
        }
        if (!last || *last != *tty) {
            const auto [at, added] = numbers.try_emplace(*tty, devices.names.size());
            if (added) {
                devices.names.push_back(&*tty);
            }
            last = &*tty;
            lastNumber = at->second;
        }
        devices.at[i] = lastNumber;
    }
    return devices;
}

// The device of each process that is the parent of one with a device, the last listed where a process
// is listed twice; `none` for a parent not listed with one.
class ParentDevices {
public:
    ParentDevices(const std::vector<ProcessInfo::DescendantInfo>& processes, const NumberedDevices& devices) {
        // Siblings are listed together: one parent per run of them.
        for (std::size_t i = 0; i < processes.size(); ++i) {
            if (devices.at[i] != none && (pids_.empty() || pids_.back() != processes[i].parentPid)) {
                pids_.push_back(processes[i].parentPid);
            }
        }
        std::sort(pids_.begin(), pids_.end());
        pids_.erase(std::unique(pids_.begin(), pids_.end()), pids_.end());
        devices_.assign(pids_.size(), none);
        for (std::int32_t pid : pids_) {
            maybeParent_.set(slotOf(pid));
        }
        for (std::size_t i = 0; i < processes.size(); ++i) {
            if (devices.at[i] == none || !maybeParent_.test(slotOf(processes[i].pid))) {
                continue;
            }
            if (const auto at = indexOf(processes[i].pid)) {
                devices_[*at] = devices.at[i];
            }
        }
    }

    std::size_t of(std::int32_t pid) const {
        const auto at = indexOf(pid);
        return at ? devices_[*at] : none;
    }

private:
    static std::size_t slotOf(std::int32_t pid) { return static_cast<std::uint32_t>(pid) % slots; }

    std::optional<std::size_t> indexOf(std::int32_t pid) const {
        const auto found = std::lower_bound(pids_.begin(), pids_.end(), pid);
        return found != pids_.end() && *found == pid
                   ? std::optional(static_cast<std::size_t>(found - pids_.begin()))
                   : std::nullopt;
    }

    static constexpr std::size_t slots = 4096;

    // Ascending.
    std::vector<std::int32_t> pids_;
    std::vector<std::size_t> devices_;
    // Whether a process may be one of the few parents, by its id's slot: the thousands of others are
    // passed over without a search.
    std::bitset<slots> maybeParent_;
};

// The device `device`'s group is known by, with path halving as resolveMergedRoot does.
std::size_t groupOf(std::vector<std::size_t>& up, std::size_t device) {
    while (up[device] != device) {
        up[device] = up[up[device]];
        device = up[device];
    }
    return device;
}

// Each device's group, joined as resolveMergedRoot joins names: the same joins in the same order give
// every group the same device to be known by.
std::vector<std::size_t> joined(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                const NumberedDevices& devices) {
    std::vector<std::size_t> up(devices.names.size());
    std::iota(up.begin(), up.end(), std::size_t{0});
    const ParentDevices parents(processes, devices);
    std::optional<std::int32_t> lastParent;
    std::size_t parentDevice = none;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const std::size_t device = devices.at[i];
        if (device == none) {
            continue;
        }
        if (lastParent != processes[i].parentPid) {
            lastParent = processes[i].parentPid;
            parentDevice = parents.of(*lastParent);
        }
        if (parentDevice == none || parentDevice == device) {
            continue;
        }
        const std::size_t a = groupOf(up, parentDevice);
        const std::size_t b = groupOf(up, device);
        if (a != b) {
            up[a] = b;
        }
    }
    return up;
}

} // namespace

PaneGroups::PaneGroups(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    const NumberedDevices devices = numbered(processes);
    std::vector<std::size_t> up = joined(processes, devices);
    std::vector<std::size_t> paneOfDevice(devices.names.size(), none);
    std::vector<std::size_t> paneOfGroup(devices.names.size(), none);
    paneAt_.assign(processes.size(), none);
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const std::size_t device = devices.at[i];
        if (device == none) {
            continue;
        }
        if (paneOfDevice[device] == none) {
            const std::size_t group = groupOf(up, device);
            if (paneOfGroup[group] == none) {
                paneOfGroup[group] = panes_.size();
                panes_.push_back(Pane{*devices.names[group], {}});
            }
            paneOfDevice[device] = paneOfGroup[group];
            panes_[paneOfGroup[group]].devices.push_back(*devices.names[device]);
            paneOfDevice_[*devices.names[device]] = paneOfGroup[group];
        }
        paneAt_[i] = paneOfDevice[device];
    }
}

std::optional<std::size_t> PaneGroups::paneOf(const std::string& device) const {
    const auto found = paneOfDevice_.find(device);
    return found == paneOfDevice_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::size_t> PaneGroups::paneAt(std::size_t index) const {
    return index < paneAt_.size() && paneAt_[index] != none ? std::optional(paneAt_[index]) : std::nullopt;
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
