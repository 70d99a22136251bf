#include "platform/linux/postedkeyjournal.h"

namespace korvane::x11 {

void PostedKeyJournal::record(std::uint8_t keycode, bool press, TimePoint now) {
    std::lock_guard lock(mutex_);
    entries_.push_back(Entry{keycode, press, now});
}

bool PostedKeyJournal::consume(std::uint8_t keycode, bool press, TimePoint now) {
    std::lock_guard lock(mutex_);
    while (!entries_.empty() && now - entries_.front().posted > lifetime) {
        entries_.pop_front();
    }
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->keycode == keycode && it->press == press) {
            entries_.erase(it);
            return true;
        }
    }
    return false;
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
