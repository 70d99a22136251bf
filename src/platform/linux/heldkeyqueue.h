#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

namespace korvane::x11 {

// The user's keys typed while the tap holds the keyboard for a withheld key (Tab held after an
// accept while typing on). X cannot pass one of them to the focused window without ending the
// hold, and with it the withheld key's release would reach the window; so they wait here and are
// posted again through XTEST once the hold ends, each press with its release. The server sends no
// raw event for a key it hands over through the hold, so the handler hears each of them once, by
// the raw copy of what is posted here. Tap thread only.
class HeldKeyQueue {
public:
    struct Key {
        std::uint8_t keycode = 0;
        bool press = true;
        bool operator==(const Key&) const = default;
    };

    // More than this and the hold is given up for the key that does not fit.
    static constexpr std::size_t capacity = 64;

    // Keeps a key event for later; false when it cannot wait: the queue is full, or it is the
    // release of a key pressed before the hold, whose press the window already has.
    bool defer(Key key);
    bool empty() const { return waiting_.empty(); }

    // The events to post now, in order, with a release for every key still down at the end.
    std::vector<Key> takeForPosting();
    void clear();

private:
    std::vector<Key> waiting_;
    std::bitset<256> down_;
};

} // namespace korvane::x11
