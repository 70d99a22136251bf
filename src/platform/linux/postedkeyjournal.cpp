#include "platform/linux/postedkeyjournal.h"

#include <algorithm>

namespace korvane::x11 {

void PostedKeyJournal::record(PostedKey key, TimePoint now) {
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{key, now});
}

bool PostedKeyJournal::consume(PostedKey key, TimePoint now) {
    std::lock_guard lock(mutex_);
    while (!entries_.empty() && now - entries_.front().posted > lifetime) {
        entries_.pop_front();
    }
    // The server processes Korvane's events in the order they were posted, so only the oldest
    // can be next; the same key from someone else in between does not take its place.
    if (entries_.empty() || entries_.front().key != key) {
        return false;
    }
    entries_.pop_front();
    return true;
}

bool PostedKeyJournal::isNext(PostedKey key, TimePoint now) const {
    std::lock_guard lock(mutex_);
    const auto live = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const Entry& entry) { return now - entry.posted <= lifetime; });
    return live != entries_.end() && live->key == key;
}

std::size_t PostedKeyJournal::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void PostedKeyJournal::setHoldingWithheldKey(bool holding) {
    {
        std::lock_guard lock(mutex_);
        holding_ = holding;
    }
    holdEnded_.notify_all();
}

bool PostedKeyJournal::waitWhileHoldingWithheldKey(std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return holdEnded_.wait_for(lock, bound, [&] { return !holding_; });
}

} // namespace korvane::x11
