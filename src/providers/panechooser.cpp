#include "providers/panechooser.h"

#include "providers/panegroups.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace korvane {

namespace {

using TimePoint = std::chrono::system_clock::time_point;

bool sameMoment(TimePoint a, TimePoint b) {
    return std::abs(std::chrono::duration<double>(a - b).count()) <= PaneChooser::sameMomentTolerance;
}

std::int64_t stepOf(TimePoint time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
    return seconds >= 0 ? seconds / PaneChooser::deviceTimeStep
                        : (seconds - PaneChooser::deviceTimeStep + 1) / PaneChooser::deviceTimeStep;
}

bool sameStep(TimePoint a, TimePoint b) {
    return stepOf(a) == stepOf(b);
}

// A pane's device read last, and when; absent when none of its devices has a date. Devices read
// at the same moment go to the one a program with a folder runs on, else the one listed first.
struct DatedPane {
    std::optional<std::string> primary;
    std::optional<TimePoint> date;
};

DatedPane dated(const PaneGroups::Pane& pane,
                const std::unordered_map<std::string, std::optional<TimePoint>>& dates,
                const std::vector<ProcessInfo::DescendantInfo>& processes) {
    if (pane.devices.size() == 1) {
        return {pane.devices.front(), dates.at(pane.devices.front())};
    }
    std::vector<std::pair<std::string, TimePoint>> known;
    for (const std::string& device : pane.devices) {
        if (auto date = dates.at(device)) {
            known.emplace_back(device, *date);
        }
    }
    if (known.empty()) {
        return {};
    }
    std::stable_sort(known.begin(), known.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    DatedPane result{std::nullopt, known.front().second};
    std::set<std::string> tied;
    for (const auto& [device, date] : known) {
        if (sameMoment(date, *result.date)) {
            tied.insert(device);
        }
    }
    if (tied.size() == 1) {
        result.primary = *tied.begin();
        return result;
    }
    for (const auto& entry : processes) {
        if (entry.tty && tied.contains(*entry.tty) && entry.cwd) {
            result.primary = *entry.tty;
            return result;
        }
    }
    for (const auto& entry : processes) {
        if (entry.tty && tied.contains(*entry.tty)) {
            result.primary = *entry.tty;
            return result;
        }
    }
    return result;
}

} // namespace

PaneChooser::PaneChooser(ProcessTable& table, RootOf rootOf)
    : table_(table)
    , rootOf_(std::move(rootOf)) {}

ProcessTreeDetection PaneChooser::choose(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                         const TitleRoot& titleRoot) const {
    return choose(processes, PaneGroups(processes), titleRoot);
}

ProcessTreeDetection PaneChooser::choose(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                         const PaneGroups& groups, const TitleRoot& titleRoot) const {
    const auto& panes = groups.panes();
    std::unordered_map<std::string, std::optional<TimePoint>> deviceDates;
    for (const auto& pane : panes) {
        for (const std::string& device : pane.devices) {
            deviceDates.try_emplace(device, table_.deviceAccessTime(device));
        }
    }
    std::vector<DatedPane> datedPanes;
    datedPanes.reserve(panes.size());
    for (const auto& pane : panes) {
        datedPanes.push_back(dated(pane, deviceDates, processes));
    }

    // Each pane's project: the root of the first folder with one on its device read last. A busy
    // terminal runs thousands of processes in a few dozen folders, and a folder with no project is
    // looked for on disk each time it is asked for: one missed is not asked for again.
    std::vector<std::optional<std::string>> paneRoots(panes.size());
    std::unordered_set<std::string_view> missed;
    const std::string* lastMissed = nullptr;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const auto& entry = processes[i];
        if (!entry.tty || !entry.cwd) {
            continue;
        }
        const std::size_t pane = *groups.paneAt(i);
        if (paneRoots[pane] || datedPanes[pane].primary != entry.tty ||
            (lastMissed && *lastMissed == *entry.cwd) || missed.contains(*entry.cwd)) {
            continue;
        }
        paneRoots[pane] = rootOf_(*entry.cwd);
        if (!paneRoots[pane]) {
            lastMissed = &*entry.cwd;
            missed.insert(*entry.cwd);
        }
    }
    std::vector<Candidate> candidates;
    for (std::size_t pane = 0; pane < panes.size(); ++pane) {
        if (!paneRoots[pane]) {
            continue;
        }
        std::optional<TimePoint> latest;
        for (const std::string& device : panes[pane].devices) {
            if (auto date = deviceDates[device]; date && (!latest || *date > *latest)) {
                latest = date;
            }
        }
        candidates.push_back(Candidate{pane, std::move(*paneRoots[pane]), latest});
    }
    if (candidates.empty()) {
        return ProcessTreeNone{};
    }
    std::vector<std::string> roots;
    for (const Candidate& candidate : candidates) {
        if (std::find(roots.begin(), roots.end(), candidate.root) == roots.end()) {
            roots.push_back(candidate.root);
        }
    }

    // The panes read in the last step of the device times, and whether each has a project.
    std::optional<TimePoint> newest;
    for (const DatedPane& pane : datedPanes) {
        if (pane.date && (!newest || *pane.date > *newest)) {
            newest = pane.date;
        }
    }
    std::vector<bool> hasProject(panes.size(), false);
    for (const Candidate& candidate : candidates) {
        hasProject[candidate.pane] = true;
    }
    bool newestWithProject = false;
    bool newestWithout = false;
    for (std::size_t pane = 0; pane < panes.size(); ++pane) {
        if (newest && datedPanes[pane].date && sameStep(*datedPanes[pane].date, *newest)) {
            (hasProject[pane] ? newestWithProject : newestWithout) = true;
        }
    }
    const bool newestHasNoProject = newestWithout && !newestWithProject;
    if (roots.size() == 1 && !newestWithout) {
        return ProcessTreeFound{roots.front()};
    }
    // A device's read time moves only every few seconds; the title of the window shows the tab in front.
    if (titleRoot) {
        if (auto title = titleRoot(); title && std::find(roots.begin(), roots.end(), *title) != roots.end()) {
            return ProcessTreeFound{*title};
        }
    }
    if (newestHasNoProject) {
        return ProcessTreeNone{};
    }
    if (newestWithout) {
        return ProcessTreeAmbiguous{std::move(roots)};
    }
    std::vector<const Candidate*> byDate;
    for (const Candidate& candidate : candidates) {
        if (candidate.accessDate) {
            byDate.push_back(&candidate);
        }
    }
    std::stable_sort(byDate.begin(), byDate.end(),
                     [](const Candidate* a, const Candidate* b) { return *a->accessDate > *b->accessDate; });
    if (!byDate.empty() && std::none_of(byDate.begin() + 1, byDate.end(), [&](const Candidate* other) {
            return other->root != byDate.front()->root &&
                   sameStep(*other->accessDate, *byDate.front()->accessDate);
        })) {
        return ProcessTreeFound{byDate.front()->root};
    }
    return ProcessTreeAmbiguous{std::move(roots)};
}

} // namespace korvane
