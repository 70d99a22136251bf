#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace korvane::x11 {

// One X key event as Korvane posts it: the key, press or release, and the core modifier state the
// server will have when it processes the event.
struct PostedKey {
    std::uint8_t keycode = 0;
    bool press = true;
    std::uint16_t state = 0;
    bool operator==(const PostedKey&) const = default;
};

// The X key events Korvane posted through XTEST and has not yet seen come back. X events carry no
// sender mark, so the tap takes an XTEST event for Korvane's own only when it is exactly the next
// one Korvane posted; other XTEST clients (on-screen keyboards, xdotool) stay user input. It also
// tells the poster when the tap holds the keyboard for a withheld key that is still down. Any thread.
class PostedKeyJournal {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Entries older than this are dropped: their events were lost or went elsewhere.
    static constexpr std::chrono::milliseconds lifetime{1000};

    void record(PostedKey key, TimePoint now = std::chrono::steady_clock::now());

    // Removes the oldest live entry and reports true when it is this event; an event that does not
    // match it (another XTEST client's) leaves the journal as it is.
    bool consume(PostedKey key, TimePoint now = std::chrono::steady_clock::now());

    // Whether this event is the oldest live entry, without taking it: the tap asks before the
    // event's raw copy has come.
    bool isNext(PostedKey key, TimePoint now = std::chrono::steady_clock::now()) const;

    std::size_t size() const;

    // Set by the tap while it holds the keyboard until a withheld key is released. A key posted
    // meanwhile would end the hold and let that release reach the focused window.
    void setHoldingWithheldKey(bool holding);
    // Waits until no withheld key is held, for at most `bound`; false when it still is.
    bool waitWhileHoldingWithheldKey(std::chrono::milliseconds bound);

private:
    struct Entry {
        PostedKey key;
        TimePoint posted;
    };

    mutable std::mutex mutex_;
    std::condition_variable holdEnded_;
    std::deque<Entry> entries_;
    bool holding_ = false;
};

} // namespace korvane::x11
