#pragma once

#include "providers/processinfo.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// A terminal's panes as its processes show them: the terminal devices they run on, where a process on
// another device than its parent joins the two into one pane (a program that opened a terminal of
// its own inside a pane belongs to that pane). Main thread.
class PaneGroups {
public:
    struct Pane {
        // The pane's name: one of its devices.
        std::string key;
        // Its devices, in the order the processes first name them.
        std::vector<std::string> devices;
    };

    explicit PaneGroups(const std::vector<ProcessInfo::DescendantInfo>& processes);

    // In the order the processes first name them.
    const std::vector<Pane>& panes() const { return panes_; }
    // The index of the pane of `device`; absent for a device no process runs on.
    std::optional<std::size_t> paneOf(const std::string& device) const;
    // The index of the pane of the process at `index` in the list the groups were made of; absent for
    // one without a device. A busy terminal's thousands of processes are told apart without a lookup
    // of their devices' names each.
    std::optional<std::size_t> paneAt(std::size_t index) const;

    // The group key of `device` in the table of joined devices, which it updates (union-find).
    static std::string resolveMergedRoot(const std::string& device,
                                         std::map<std::string, std::string>& parents);

private:
    std::vector<Pane> panes_;
    std::unordered_map<std::string, std::size_t> paneOfDevice_;
    // By the processes' order; the largest size_t for a process without a device.
    std::vector<std::size_t> paneAt_;
};

} // namespace korvane
