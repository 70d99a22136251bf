#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>

namespace korvane {

// Bytes that several process runs may read between them: each run takes what it keeps, and a run that
// finds too little left ends as one past its output limit. Copies share the count; any thread.
class OutputBudget {
public:
    explicit OutputBudget(std::size_t bytes)
        : left_(std::make_shared<std::atomic<std::size_t>>(bytes)) {}

    // Takes up to `wanted` bytes and returns how many it took.
    std::size_t take(std::size_t wanted) const {
        std::size_t left = left_->load(std::memory_order_relaxed);
        std::size_t taken = 0;
        do {
            taken = std::min(left, wanted);
        } while (!left_->compare_exchange_weak(left, left - taken, std::memory_order_relaxed));
        return taken;
    }

    std::size_t left() const { return left_->load(std::memory_order_relaxed); }

private:
    std::shared_ptr<std::atomic<std::size_t>> left_;
};

} // namespace korvane
