#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace korvane {

// Bytes that several process runs, and what is made of their output, may hold between them: each takes
// what it keeps, and one that finds too little left fails. Copies share the count. A share of a budget
// draws every byte from that budget too and hands all it took back once its last copy is gone, so that
// any number of shares in flight hold no more than the budget between them. Any thread.
class OutputBudget {
public:
    explicit OutputBudget(std::size_t bytes)
        : state_(std::make_shared<State>(bytes, nullptr)) {}

    // A budget for one piece of work, drawn from this one (a share of a share from the same budget).
    OutputBudget share() const {
        return OutputBudget(std::make_shared<State>(0, state_->pool ? state_->pool : state_));
    }

    // Takes `bytes` whole, or nothing where fewer are left; a share then counts as spent.
    bool take(std::size_t bytes) const {
        const std::size_t taken = takeUpTo(bytes);
        if (taken == bytes) {
            return true;
        }
        giveBack(taken);
        state_->spent.store(true, std::memory_order_relaxed);
        return false;
    }

    // Takes up to `wanted` bytes and returns how many it took.
    std::size_t takeUpTo(std::size_t wanted) const {
        State& root = state_->pool ? *state_->pool : *state_;
        std::size_t left = root.left.load(std::memory_order_relaxed);
        std::size_t taken = 0;
        do {
            taken = std::min(left, wanted);
        } while (!root.left.compare_exchange_weak(left, left - taken, std::memory_order_relaxed));
        state_->taken.fetch_add(taken, std::memory_order_relaxed);
        return taken;
    }

    // Hands back bytes taken earlier that are held no longer.
    void giveBack(std::size_t bytes) const {
        State& root = state_->pool ? *state_->pool : *state_;
        state_->taken.fetch_sub(bytes, std::memory_order_relaxed);
        root.left.fetch_add(bytes, std::memory_order_relaxed);
    }

    // Appends `bytes` to `text`, the room it is kept in taken from the budget: where it must grow, the
    // new room whole while the old is still held, and then the old handed back. It grows by half as much
    // again, at most by half of what is left, so that one text leaves room for others. False, leaving
    // `text` as it was, where the room is not left.
    bool append(std::string& text, std::string_view bytes) const {
        const std::size_t needed = text.size() + bytes.size();
        if (needed > text.capacity()) {
            if (!take(needed)) {
                return false;
            }
            const std::size_t room = needed + takeUpTo(std::min(needed / 2, left() / 2));
            const std::size_t old = heldBy(text);
            {
                // A string of its own gets exactly the room asked for; growing `text` in place would
                // at least double it.
                std::string grown;
                grown.reserve(room);
                grown.append(text);
                text.swap(grown);
            }
            giveBack(old);
        }
        text.append(bytes);
        return true;
    }

    // The room `text` holds beyond its own object.
    static std::size_t heldBy(const std::string& text) {
        return text.capacity() > std::string().capacity() ? text.capacity() : 0;
    }

    // What is left of the budget this one draws from.
    std::size_t left() const {
        const State& root = state_->pool ? *state_->pool : *state_;
        return root.left.load(std::memory_order_relaxed);
    }
    // The bytes the budget this one draws from started with.
    std::size_t size() const { return state_->pool ? state_->pool->size : state_->size; }
    // Whether a take of this share (or budget) found too little left.
    bool spent() const { return state_->spent.load(std::memory_order_relaxed); }

private:
    struct State {
        State(std::size_t bytes, std::shared_ptr<State> from)
            : size(bytes)
            , left(bytes)
            , pool(std::move(from)) {}
        ~State() {
            if (pool) {
                pool->left.fetch_add(taken.load(std::memory_order_relaxed), std::memory_order_relaxed);
            }
        }
        State(const State&) = delete;
        State& operator=(const State&) = delete;

        const std::size_t size;
        std::atomic<std::size_t> left;
        std::atomic<std::size_t> taken{0};
        std::atomic<bool> spent{false};
        // The budget a share draws from.
        const std::shared_ptr<State> pool;
    };

    explicit OutputBudget(std::shared_ptr<State> state)
        : state_(std::move(state)) {}

    std::shared_ptr<State> state_;
};

} // namespace korvane
