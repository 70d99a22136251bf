#pragma once

#include "platform/processtable.h"
#include "providers/panegroups.h"
#include "providers/processinfo.h"
#include "providers/processtreedetection.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Chooses a terminal's project among its panes (PaneGroups): a pane's project is the root of the
// first folder listed on its device read last; where panes differ, the one the window's title names,
// else the pane whose device was read last, unless that one has no project or another pane was read in
// the same step of the device times: then none, as a wrong project is worse than none. Main thread.
class PaneChooser {
public:
    // The root of the project `directory` lies in, if any.
    using RootOf = std::function<std::optional<std::string>(const std::string& directory)>;
    // The root the focused window's title names, if any; asked only where the panes differ.
    using TitleRoot = std::function<std::optional<std::string>()>;

    // Two times within this many seconds count as the same moment.
    static constexpr double sameMomentTolerance = 0.05;
    // The system moves a terminal device's read time only when the read falls in another step of this
    // many seconds than the time kept: two devices dated in one step may have been read in either order.
    static constexpr std::int64_t deviceTimeStep = 8;

    PaneChooser(ProcessTable& table, RootOf rootOf);

    // The project of the terminal whose processes are `processes` (ProcessInfo::descendants' order).
    ProcessTreeDetection choose(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                const TitleRoot& titleRoot) const;
    // The same with the panes of `processes` already told apart.
    ProcessTreeDetection choose(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                const PaneGroups& groups, const TitleRoot& titleRoot) const;

private:
    using TimePoint = std::chrono::system_clock::time_point;

    // One pane with a project: its root and the latest time any of its devices was read.
    struct Candidate {
        std::size_t pane;
        std::string root;
        std::optional<TimePoint> accessDate;
    };

    ProcessTable& table_;
    RootOf rootOf_;
};

} // namespace korvane
