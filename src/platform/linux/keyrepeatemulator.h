#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace korvane::x11 {

// Recreates the server's key auto-repeat for a tap that cannot record it (a server without
// RECORD). Repeats are counted from the server's timestamps and the XKB repeat controls: while a key
// is held they are reported a little after the server's would be, and the release settles the
// count. A server whose repeat timer runs late under load repeats less often than this predicts.
// Tap thread only.
class KeyRepeatEmulator {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Owed {
        std::uint8_t keycode = 0;
        int count = 0;
    };

    void configure(bool enabled, std::uint32_t delayMs, std::uint32_t intervalMs);

    // A key went down at server time `serverTime`. The server repeats only the last repeating key
    // pressed, so this settles what the previous one is still owed.
    Owed press(std::uint8_t keycode, bool repeats, std::uint32_t serverTime, TimePoint now);

    // The key went up: the repeats the server produced that were not yet reported.
    Owed release(std::uint8_t keycode, std::uint32_t serverTime);

    // The key is now seen through other means (a grab delivers its repeats).
    void cancel(std::uint8_t keycode);

    // Repeats that are due by `now`.
    Owed due(TimePoint now);

    // When the next repeat falls due, if a key is repeating.
    std::optional<TimePoint> nextDeadline() const;

private:
    struct Held {
        std::uint8_t keycode;
        std::uint32_t pressServerTime;
        TimePoint pressLocal;
        int reported;
    };

    int repeatsAfter(std::int64_t elapsedMs) const;
    Owed settle(std::uint32_t serverTime);
    std::chrono::milliseconds margin() const;

    bool enabled_ = true;
    std::uint32_t delayMs_ = 660;
    std::uint32_t intervalMs_ = 40;
    std::optional<Held> held_;
};

} // namespace korvane::x11
