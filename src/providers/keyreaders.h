#pragma once

#include "platform/processtable.h"
#include "providers/panegroups.h"
#include "providers/processinfo.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace korvane {

// Which of a terminal's foreground processes the trigger reads the reads of, so that a tab running a
// large job (a build of hundreds of processes) costs a few reads: every process of a small job, and of
// a larger one its first processes and those seen reading at earlier baselines. A larger job none of
// whose processes was seen reading leaves its pane unknown, as any of them may read the keys, unless all of
// them started since the baseline. Main thread.
class KeyReaders {
public:
    using Reads = std::vector<std::pair<std::int32_t, ProcessReads>>;

    // A pane's foreground processes read at the trigger at most.
    static constexpr std::size_t maxPerPane = 8;

    // The processes whose reads moved from `before` to `after` (both ascending by process id) were seen
    // reading; of those seen before, the ones not `running` (ascending) any more are forgotten.
    void learn(const Reads& before, const Reads& after, const std::vector<std::int32_t>& running);

    // The processes to read, ascending; none where a pane of `groups` (made of `processes`) is unknown,
    // since then no pane is told by its reads. A larger job all of whose processes started since the
    // baseline, when `runningAtBaseline` (ascending) were running, is read by its first processes: every
    // read of theirs came since.
    std::vector<std::int32_t> choose(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                     const PaneGroups& groups,
                                     const std::vector<std::int32_t>& runningAtBaseline = {}) const;

private:
    bool seenReading(std::int32_t pid) const;

    // Ascending.
    std::vector<std::int32_t> seenReading_;
};

} // namespace korvane
