#include "platform/linux/heldkeyqueue.h"

namespace korvane::x11 {

bool HeldKeyQueue::defer(Key key) {
    if (waiting_.size() >= capacity || (!key.press && !down_.test(key.keycode))) {
        return false;
    }
    down_.set(key.keycode, key.press);
    waiting_.push_back(key);
    return true;
}

std::vector<HeldKeyQueue::Key> HeldKeyQueue::takeForPosting() {
    std::vector<Key> keys = std::move(waiting_);
    waiting_.clear();
    // A key still held is let go at once: an XTEST press whose release never comes would leave
    // the key (a modifier, say) down for every later event.
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (down_.test(static_cast<std::size_t>(keycode))) {
            keys.push_back({static_cast<std::uint8_t>(keycode), false});
        }
    }
    down_.reset();
    return keys;
}

void HeldKeyQueue::clear() {
    waiting_.clear();
    down_.reset();
}

} // namespace korvane::x11
