#pragma once

#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>

namespace korvane {

// A map that keeps at most `capacity` entries and drops the one used least recently to make room
// for a new one. A lookup counts as a use. Not thread-safe; its owner confines it to one thread.
template <typename Key, typename Value> class LruMap {
public:
    explicit LruMap(std::size_t capacity)
        : capacity_(capacity == 0 ? 1 : capacity) {}

    // The value under `key`, now the most recently used entry; null when there is none.
    Value* find(const Key& key) {
        auto found = index_.find(key);
        if (found == index_.end()) {
            return nullptr;
        }
        entries_.splice(entries_.begin(), entries_, found->second);
        return &found->second->second;
    }

    bool contains(const Key& key) const { return index_.contains(key); }

    // Stores `value` under `key`, replacing an older value, as the most recently used entry.
    void insert(const Key& key, Value value) {
        if (Value* existing = find(key)) {
            *existing = std::move(value);
            return;
        }
        if (entries_.size() == capacity_) {
            index_.erase(entries_.back().first);
            entries_.pop_back();
        }
        entries_.emplace_front(key, std::move(value));
        index_.emplace(key, entries_.begin());
    }

    void erase(const Key& key) {
        if (auto found = index_.find(key); found != index_.end()) {
            entries_.erase(found->second);
            index_.erase(found);
        }
    }

    std::size_t size() const { return entries_.size(); }
    std::size_t capacity() const { return capacity_; }

private:
    using Entries = std::list<std::pair<Key, Value>>;

    std::size_t capacity_;
    Entries entries_;
    std::unordered_map<Key, typename Entries::iterator> index_;
};

} // namespace korvane
