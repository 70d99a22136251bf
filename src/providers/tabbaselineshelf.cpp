#include "providers/tabbaselineshelf.h"

#include <utility>

namespace korvane {

void TabBaselineShelf::plan(std::optional<Reading> reading) {
    // Freed after the lock: the reader's reads of thousands of processes.
    std::optional<Read> stale;
    std::lock_guard guard(lock_);
    planned_ = reading ? std::make_shared<const Reading>(std::move(*reading)) : nullptr;
    wanted_.store(planned_ != nullptr, std::memory_order_relaxed);
    stale = std::exchange(read_, std::nullopt);
    // The walk of a reading no longer taken goes where the reader frees it.
    if (stale && !retired_) {
        retired_ = std::move(stale->baseline.walked);
    }
}

std::optional<TabBaselineShelf::Read> TabBaselineShelf::take(std::uint64_t generation) {
    std::lock_guard guard(lock_);
    if (!read_ || read_->generation != generation) {
        return std::nullopt;
    }
    auto read = std::move(read_);
    read_.reset();
    return read;
}

void TabBaselineShelf::retire(TabWalk::Walked walked) {
    std::lock_guard guard(lock_);
    if (!retired_) {
        retired_ = std::move(walked);
    }
}

std::shared_ptr<const TabBaselineShelf::Reading> TabBaselineShelf::planned() const {
    std::lock_guard guard(lock_);
    return planned_;
}

void TabBaselineShelf::offer(Read read) {
    // Thousands of processes are freed here rather than under the lock or on the main thread.
    std::optional<Read> replaced;
    std::optional<TabWalk::Walked> retired;
    std::lock_guard guard(lock_);
    retired = std::exchange(retired_, std::nullopt);
    if (!planned_ || planned_->generation != read.generation) {
        return;
    }
    if (read.baseline.panes <= 1) {
        // Its keys are no longer noted: a walk is no longer known to have begun after the last of them.
        wanted_.store(false, std::memory_order_relaxed);
        noteInput();
    }
    replaced = std::exchange(read_, std::move(read));
}

} // namespace korvane
