#include "providers/typedtab.h"

#include "providers/panegroups.h"

#include <algorithm>
#include <iterator>

namespace korvane {

TypedTab::TypedTab(std::shared_ptr<ProcessTable> table)
    : table_(std::move(table)) {}

// A tab's own shell is read behind the command it runs too: it reads nothing there, but the Return that
// ran the command may have come after its last reading in front, and would count as a key at its next prompt.
TypedTab::Reads TypedTab::foregroundReads(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                          ProcessTable& table) {
    const std::vector<std::int32_t> listed = running(processes);
    Reads reads;
    for (const auto& entry : processes) {
        const bool tabsOwn = !std::binary_search(listed.begin(), listed.end(), entry.parentPid);
        if ((entry.foreground || tabsOwn) && entry.tty) {
            if (auto counted = table.reads(entry.pid)) {
                reads.emplace_back(entry.pid, *counted);
            }
        }
    }
    std::sort(reads.begin(), reads.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return reads;
}

TypedTab::Reads TypedTab::readsOf(const std::vector<std::int32_t>& pids, ProcessTable& table) {
    Reads reads;
    for (std::int32_t pid : pids) {
        if (auto counted = table.reads(pid)) {
            reads.emplace_back(pid, *counted);
        }
    }
    return reads;
}

bool TypedTab::startedSinceBaseline(std::int32_t pid) const {
    return !runningAtBaseline_.empty() &&
           !std::binary_search(runningAtBaseline_.begin(), runningAtBaseline_.end(), pid);
}

// A fork of its own does not count: a shell works out its suggestions for the line typed in one.
bool TypedTab::startedAnotherSince(const ProcessInfo::DescendantInfo& process) const {
    const auto children = table_->childProcesses(process.pid);
    return children && std::any_of(children->begin(), children->end(), [&](std::int32_t child) {
               if (!startedSinceBaseline(child)) {
                   return false;
               }
               const auto status = table_->status(child);
               return status && status->name != process.name;
           });
}

const ProcessReads* TypedTab::find(const Reads& reads, std::int32_t pid) {
    const auto found =
        std::lower_bound(reads.begin(), reads.end(), pid,
                         [](const auto& entry, std::int32_t key) { return entry.first < key; });
    return found != reads.end() && found->first == pid ? &found->second : nullptr;
}

std::vector<std::int32_t> TypedTab::running(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    std::vector<std::int32_t> pids;
    pids.reserve(processes.size());
    for (const auto& entry : processes) {
        pids.push_back(entry.pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

TypedTab::Baseline TypedTab::readBaseline(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                          ProcessTable& table) {
    return {foregroundReads(processes, table), running(processes), PaneGroups(processes).panes().size()};
}

void TypedTab::takeBaseline(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    setBaseline(readBaseline(processes, *table_));
}

// A shell is read only while its prompt is in front: behind a command it keeps its reads from before
// the command, which the first trigger at the next prompt is measured from.
void TypedTab::setBaseline(Baseline baseline) {
    panes_ = baseline.panes;
    runningAtBaseline_ = baseline.running;
    readers_.learn(baseline_, baseline.reads, baseline.running);
    Reads kept;
    auto fresh = baseline.reads.begin();
    auto alive = baseline.running.begin();
    for (const auto& entry : baseline_) {
        while (fresh != baseline.reads.end() && fresh->first < entry.first) {
            ++fresh;
        }
        while (alive != baseline.running.end() && *alive < entry.first) {
            ++alive;
        }
        const bool readAgain = fresh != baseline.reads.end() && fresh->first == entry.first;
        if (!readAgain && alive != baseline.running.end() && *alive == entry.first) {
            kept.push_back(entry);
        }
    }
    if (kept.empty()) {
        baseline_ = std::move(baseline.reads);
        return;
    }
    baseline_.clear();
    baseline_.reserve(baseline.reads.size() + kept.size());
    std::merge(baseline.reads.begin(), baseline.reads.end(), kept.begin(), kept.end(),
               std::back_inserter(baseline_), [](const auto& a, const auto& b) { return a.first < b.first; });
}

TypedTab::Look TypedTab::look(const std::vector<ProcessInfo::DescendantInfo>& processes,
                              const PaneGroups& groups) const {
    // A busy terminal's thousands of processes are not all read at the trigger.
    Look look{readsOf(readers_.choose(processes, groups, runningAtBaseline_), *table_), std::nullopt, false};
    if (groups.panes().size() <= 1) {
        return look;
    }
    std::vector<std::optional<ProcessReads>> since(groups.panes().size());
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const auto& entry = processes[i];
        if (!entry.foreground || !entry.tty) {
            continue;
        }
        // The few processes read first: the baseline holds thousands.
        const ProcessReads* now = find(look.reads, entry.pid);
        const ProcessReads* then = now ? find(baseline_, entry.pid) : nullptr;
        // Started since the baseline (a build loop's next round): everything it read came since.
        static constexpr ProcessReads none{};
        if (now && !then && startedSinceBaseline(entry.pid)) {
            then = &none;
        }
        // A process id used again since reads less than the one it was.
        if (!now || !then || now->calls < then->calls || now->bytes < then->bytes) {
            continue;
        }
        auto& pane = since[*groups.paneAt(i)];
        pane = ProcessReads{(pane ? pane->calls : 0) + now->calls - then->calls,
                            (pane ? pane->bytes : 0) + now->bytes - then->bytes};
        // A program that read as keys are read but started another since is at work: a build reads its job
        // tokens a byte at a time, as a shell reads keys, and starts a job with each. Only such a reader's
        // children are looked at, every thread's of them, on the main thread.
        if (readsLikeKeys({now->calls - then->calls, now->bytes - then->bytes}) &&
            startedAnotherSince(entry)) {
            pane->calls += maxKeyReads + 1;
        }
    }
    look.typed = typedPane(since);
    // No tab read a key's worth yet: what others read since is a log followed or a screen redrawn.
    look.keysUnread = std::all_of(since.begin(), since.end(),
                                  [](const auto& pane) { return pane && !readsLikeKeys(*pane); });
    return look;
}

std::vector<ProcessInfo::DescendantInfo>
TypedTab::kept(std::vector<ProcessInfo::DescendantInfo> processes, const PaneGroups& groups, Look look) {
    keysUnread_ = look.keysUnread;
    // Keys not read yet are looked for again a few milliseconds later, from the same baseline: a build's
    // token or a log's line read in those few milliseconds alone would pass for them.
    if (!look.keysUnread) {
        setBaseline({std::move(look.reads), running(processes), groups.panes().size()});
    }
    if (!look.typed) {
        return processes;
    }
    std::size_t left = 0;
    for (std::size_t i = 0; i < processes.size(); ++i) {
        if (groups.paneAt(i) != look.typed) {
            continue;
        }
        if (left != i) {
            processes[left] = std::move(processes[i]);
        }
        ++left;
    }
    processes.erase(processes.begin() + static_cast<std::ptrdiff_t>(left), processes.end());
    return processes;
}

std::vector<ProcessInfo::DescendantInfo>
TypedTab::typedPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes, bool keysTyped) {
    const PaneGroups groups(processes);
    return typedPaneOnly(std::move(processes), groups, keysTyped);
}

std::vector<ProcessInfo::DescendantInfo>
TypedTab::typedPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes, const PaneGroups& groups,
                        bool keysTyped) {
    panes_ = groups.panes().size();
    keysUnread_ = false;
    if (!keysTyped) {
        return processes;
    }
    Look seen = look(processes, groups);
    return kept(std::move(processes), groups, std::move(seen));
}

std::optional<std::vector<ProcessInfo::DescendantInfo>>
TypedTab::toldPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes,
                       const std::function<bool(const std::vector<std::string>& devices)>& accepted) {
    const PaneGroups groups(processes);
    Look seen = look(processes, groups);
    if (!seen.typed || !accepted(groups.panes()[*seen.typed].devices)) {
        return std::nullopt;
    }
    panes_ = groups.panes().size();
    return kept(std::move(processes), groups, std::move(seen));
}

std::optional<std::size_t>
TypedTab::typedPane(const std::vector<std::optional<ProcessReads>>& sinceBaseline) {
    // A pane not known may be the one typed in, whatever the others did.
    if (std::any_of(sinceBaseline.begin(), sinceBaseline.end(), [](const auto& reads) { return !reads; })) {
        return std::nullopt;
    }
    // A program that follows a log or a connection reads lines and packets, not keys: alone it is not
    // the tab typed in either, which may be one whose reads are not known as keys (a multiplexer's).
    std::vector<std::size_t> reading;
    for (std::size_t pane = 0; pane < sinceBaseline.size(); ++pane) {
        if (readsLikeKeys(*sinceBaseline[pane])) {
            reading.push_back(pane);
        }
    }
    return reading.size() == 1 ? std::optional(reading.front()) : std::nullopt;
}

bool TypedTab::readsLikeKeys(const ProcessReads& since) {
    return since.calls >= 1 && since.calls <= maxKeyReads && since.bytes <= since.calls * maxKeyBytesPerRead;
}

} // namespace korvane
