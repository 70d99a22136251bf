#pragma once

#include "providers/tabwalk.h"
#include "providers/typedtab.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace korvane {

// What the main thread and the reader of the tabs' baseline hand each other. The main thread plans the
// reading (the terminal in front, its servers' panes) whenever that changes; the reader, started by the key
// tap itself off the main thread, reads it after each key and leaves what it read here, where the next
// detection takes it. An ordinary key so wakes the main thread never. Any thread.
class TabBaselineShelf {
public:
    // The reading planned, stamped with the plan's generation.
    struct Reading {
        std::uint64_t generation = 0;
        std::function<TypedTab::Baseline()> read;
    };
    // What a reading found, and how many inputs had reached the application as it began.
    struct Read {
        std::uint64_t generation = 0;
        std::uint64_t inputs = 0;
        TypedTab::Baseline baseline;
    };

    // Main thread: the reading each further key asks for, none where the keys of the application in front
    // are worth no baseline. What was read for an earlier plan is no longer taken.
    void plan(std::optional<Reading> reading);
    // Main thread: what was read for the plan of `generation`, if it is the plan still; once.
    std::optional<Read> take(std::uint64_t generation);
    // Main thread: a walk no longer kept, for the reader to free with what it frees anyway.
    void retire(TabWalk::Walked walked);

    // The reader: the reading planned now.
    std::shared_ptr<const Reading> planned() const;
    // The reader: `read` stays for the main thread unless its plan is no longer the plan. Where it found
    // a single pane, the keys typed in it are not worth a baseline any more.
    void offer(Read read);

    // Whether the application in front's keys are worth a baseline: read by the key tap at each key.
    bool wanted() const { return wanted_.load(std::memory_order_relaxed); }
    // A key or click reached the application in front: jobs may have started or ended since the processes
    // below a terminal were last walked.
    void noteInput() { inputs_.fetch_add(1, std::memory_order_relaxed); }
    std::uint64_t inputs() const { return inputs_.load(std::memory_order_relaxed); }

private:
    mutable std::mutex lock_;
    std::shared_ptr<const Reading> planned_;
    std::optional<Read> read_;
    std::optional<TabWalk::Walked> retired_;
    std::atomic<bool> wanted_ = false;
    std::atomic<std::uint64_t> inputs_ = 0;
};

} // namespace korvane
