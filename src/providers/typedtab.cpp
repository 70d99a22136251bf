#include "providers/typedtab.h"

#include "providers/panegroups.h"

#include <algorithm>

namespace korvane {

TypedTab::TypedTab(std::shared_ptr<ProcessTable> table)
    : table_(std::move(table)) {}

TypedTab::Reads TypedTab::foregroundReads(const std::vector<ProcessInfo::DescendantInfo>& processes) const {
    Reads reads;
    for (const auto& entry : processes) {
        if (entry.foreground && entry.tty) {
            if (auto counted = table_->reads(entry.pid)) {
                reads.emplace(entry.pid, *counted);
            }
        }
    }
    return reads;
}

void TypedTab::takeBaseline(const std::vector<ProcessInfo::DescendantInfo>& processes) {
    baseline_ = foregroundReads(processes);
    panes_ = PaneGroups(processes).panes().size();
}

std::vector<ProcessInfo::DescendantInfo>
TypedTab::typedPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes, bool keysTyped) {
    const PaneGroups groups(processes);
    panes_ = groups.panes().size();
    if (!keysTyped) {
        return processes;
    }
    Reads reads = foregroundReads(processes);
    std::optional<std::size_t> typed;
    if (groups.panes().size() > 1) {
        std::vector<std::optional<ProcessReads>> since(groups.panes().size());
        for (const auto& entry : processes) {
            if (!entry.foreground || !entry.tty) {
                continue;
            }
            const auto now = reads.find(entry.pid);
            const auto then = baseline_.find(entry.pid);
            // A process id used again since reads less than the one it was.
            if (now == reads.end() || then == baseline_.end() || now->second.calls < then->second.calls ||
                now->second.bytes < then->second.bytes) {
                continue;
            }
            auto& pane = since[*groups.paneOf(*entry.tty)];
            pane = ProcessReads{(pane ? pane->calls : 0) + now->second.calls - then->second.calls,
                                (pane ? pane->bytes : 0) + now->second.bytes - then->second.bytes};
        }
        typed = typedPane(since);
    }
    baseline_ = std::move(reads);
    if (!typed) {
        return processes;
    }
    const auto& devices = groups.panes()[*typed].devices;
    std::erase_if(processes, [&](const ProcessInfo::DescendantInfo& entry) {
        return !entry.tty || std::find(devices.begin(), devices.end(), *entry.tty) == devices.end();
    });
    return processes;
}

std::optional<std::size_t>
TypedTab::typedPane(const std::vector<std::optional<ProcessReads>>& sinceBaseline) {
    // A pane not known may be the one typed in, whatever the others did.
    if (std::any_of(sinceBaseline.begin(), sinceBaseline.end(), [](const auto& reads) { return !reads; })) {
        return std::nullopt;
    }
    std::vector<std::size_t> reading;
    for (std::size_t pane = 0; pane < sinceBaseline.size(); ++pane) {
        if (sinceBaseline[pane]->calls >= 1 && sinceBaseline[pane]->calls <= maxKeyReads) {
            reading.push_back(pane);
        }
    }
    // A program that follows a log or a connection reads lines and packets, not keys: alone it is not
    // the tab typed in either, which may be one whose reads are not known as keys (a multiplexer's).
    std::erase_if(reading, [&](std::size_t pane) {
        return sinceBaseline[pane]->bytes > sinceBaseline[pane]->calls * maxKeyBytesPerRead;
    });
    return reading.size() == 1 ? std::optional(reading.front()) : std::nullopt;
}

} // namespace korvane
