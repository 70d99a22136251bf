#pragma once

#include "platform/processtable.h"
#include "providers/processinfo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace korvane {

// Which tab the user types in, where one terminal process owns several windows or tabs: the pane
// whose foreground job alone read the trigger's keys, a few reads of a few bytes each since the baseline
// (a device's read time moves only every 8 seconds). The baseline is taken when the terminal's window comes
// forward, shortly after each key that begins no trigger and each click, and at each trigger. Main thread.
class TypedTab {
public:
    // More reads than this since the baseline are a program at work (top redrawing), not keys.
    static constexpr std::uint64_t maxKeyReads = 16;
    // Keys typed are at most this many bytes a read on average: a character, an arrow's sequence or a
    // focus report.
    static constexpr std::uint64_t maxKeyBytesPerRead = 4;

    explicit TypedTab(std::shared_ptr<ProcessTable> table);

    // Whether the processes last seen ran in more than one pane: only then is a baseline worth taking.
    bool hasSeveralPanes() const { return panes_ > 1; }

    // The reads of the foreground jobs of `processes` (a terminal's, as ProcessInfo::descendants
    // lists them) become the baseline.
    void takeBaseline(const std::vector<ProcessInfo::DescendantInfo>& processes);

    // `processes` narrowed to the pane the user typed in, where the keys typed since the baseline
    // (`keysTyped`) tell it alone, else all of them. With `keysTyped` the reads seen become the baseline;
    // without, it stays, as a trigger being typed is measured from it.
    std::vector<ProcessInfo::DescendantInfo> typedPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes,
                                                           bool keysTyped);

    // The pane typed in, given each pane's reads since the baseline (absent where they are not known,
    // which leaves it undecided).
    static std::optional<std::size_t>
    typedPane(const std::vector<std::optional<ProcessReads>>& sinceBaseline);

private:
    using Reads = std::unordered_map<std::int32_t, ProcessReads>;

    Reads foregroundReads(const std::vector<ProcessInfo::DescendantInfo>& processes) const;

    std::shared_ptr<ProcessTable> table_;
    Reads baseline_;
    std::size_t panes_ = 0;
};

} // namespace korvane
