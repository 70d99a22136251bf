#pragma once

#include "platform/processtable.h"
#include "providers/keyreaders.h"
#include "providers/panegroups.h"
#include "providers/processinfo.h"
#include "providers/tabwalk.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// Which tab the user types in, where one terminal process owns several windows or tabs: the pane
// whose foreground job alone read the trigger's keys, a few reads of a few bytes each since the baseline
// (a device's read time moves only every 8 seconds); a program that started another since reads its
// work, not keys. The baseline is taken when the terminal's window comes forward, shortly after each key
// that begins no trigger and each click, after Korvane's own insertion, and at each trigger; a process
// that left the foreground keeps its reads in it (a shell behind the command it runs reads nothing, and is
// in front again at the next prompt). Main thread; readBaseline on any thread.
class TypedTab {
public:
    // By process id, ascending: taken in on the main thread at a few microseconds for thousands.
    using Reads = std::vector<std::pair<std::int32_t, ProcessReads>>;

    // The reads of a terminal's foreground jobs at one moment, the processes then running below it, and
    // the number of panes they ran in.
    struct Baseline {
        Reads reads;
        // Ascending.
        std::vector<std::int32_t> running;
        std::size_t panes = 0;
        // The walk the reads were taken from, for the trigger to start from.
        TabWalk::Walked walked;
    };

    // More reads than this since the baseline are a program at work (top redrawing), not keys.
    static constexpr std::uint64_t maxKeyReads = 16;
    // Keys typed are at most this many bytes a read on average: a character, an arrow's sequence or a
    // focus report.
    static constexpr std::uint64_t maxKeyBytesPerRead = 4;

    explicit TypedTab(std::shared_ptr<ProcessTable> table);

    // Whether the processes last seen ran in more than one pane: only then is a baseline worth taking.
    bool hasSeveralPanes() const { return panes_ > 1; }
    // The terminal shows `panes` panes, a multiplexer's counted apart, where the trigger's processes
    // put one pane in place of its client.
    void seePanes(std::size_t panes) { panes_ = panes; }

    // The reads of the foreground jobs of `processes` (a terminal's, as ProcessInfo::descendants
    // lists them) become the baseline.
    void takeBaseline(const std::vector<ProcessInfo::DescendantInfo>& processes);
    // What takeBaseline reads, through `table` alone: on any thread that owns `table` for the while.
    static Baseline readBaseline(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                 ProcessTable& table);
    // `baseline` becomes the baseline; the reads of processes still running but no longer in front stay.
    void setBaseline(Baseline baseline);

    // `processes` narrowed to the pane the user typed in, where the keys typed since the baseline
    // (`keysTyped`) tell it alone, else all of them. With `keysTyped` the reads seen become the baseline;
    // without, it stays, as a trigger being typed is measured from it.
    std::vector<ProcessInfo::DescendantInfo> typedPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes,
                                                           bool keysTyped);
    // The same with the panes of `processes` already told apart, for the caller to choose among them too.
    std::vector<ProcessInfo::DescendantInfo> typedPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes,
                                                           const PaneGroups& groups, bool keysTyped);

    // The same at a trigger, where the keys tell the pane alone and `accepted` takes that pane (by its
    // devices); absent, and nothing changed, otherwise.
    std::optional<std::vector<ProcessInfo::DescendantInfo>>
    toldPaneOnly(std::vector<ProcessInfo::DescendantInfo> processes,
                 const std::function<bool(const std::vector<std::string>& devices)>& accepted);

    // Whether at the last trigger every pane was known and none had read a key's worth since the baseline
    // (a tab following a log may have read its lines): the keys had not reached their program yet (a
    // terminal busy drawing), and a later look may tell.
    bool keysUnread() const { return keysUnread_; }

    // The pane typed in, given each pane's reads since the baseline (absent where they are not known,
    // which leaves it undecided).
    static std::optional<std::size_t>
    typedPane(const std::vector<std::optional<ProcessReads>>& sinceBaseline);

private:
    // What the foreground jobs of a trigger's processes read, and the pane that tells.
    struct Look {
        Reads reads;
        std::optional<std::size_t> typed;
        bool keysUnread = false;
    };
    Look look(const std::vector<ProcessInfo::DescendantInfo>& processes, const PaneGroups& groups) const;
    // `look`'s reads become the baseline; `processes` narrowed to the pane it tells, if any.
    std::vector<ProcessInfo::DescendantInfo> kept(std::vector<ProcessInfo::DescendantInfo> processes,
                                                  const PaneGroups& groups, Look look);

    static Reads foregroundReads(const std::vector<ProcessInfo::DescendantInfo>& processes,
                                 ProcessTable& table);
    // The reads of `pids` (ascending), each process that has them.
    static Reads readsOf(const std::vector<std::int32_t>& pids, ProcessTable& table);
    static std::vector<std::int32_t> running(const std::vector<ProcessInfo::DescendantInfo>& processes);
    static const ProcessReads* find(const Reads& reads, std::int32_t pid);
    // A few reads of a few bytes each: keys, not a log followed or a screen redrawn.
    static bool readsLikeKeys(const ProcessReads& since);
    bool startedSinceBaseline(std::int32_t pid) const;
    // Whether a child of `process` running now, another program, started since the baseline.
    bool startedAnotherSince(const ProcessInfo::DescendantInfo& process) const;

    std::shared_ptr<ProcessTable> table_;
    Reads baseline_;
    // The processes running at the last baseline, ascending.
    std::vector<std::int32_t> runningAtBaseline_;
    KeyReaders readers_;
    std::size_t panes_ = 0;
    bool keysUnread_ = false;
};

} // namespace korvane
