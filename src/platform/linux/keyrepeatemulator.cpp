#include "platform/linux/keyrepeatemulator.h"

#include <algorithm>

namespace korvane::x11 {

void KeyRepeatEmulator::configure(bool enabled, std::uint32_t delayMs, std::uint32_t intervalMs) {
    enabled_ = enabled;
    delayMs_ = delayMs;
    intervalMs_ = std::max<std::uint32_t>(intervalMs, 1);
    if (!enabled_) {
        held_.reset();
    }
}

int KeyRepeatEmulator::repeatsAfter(std::int64_t elapsedMs) const {
    if (elapsedMs < static_cast<std::int64_t>(delayMs_)) {
        return 0;
    }
    return static_cast<int>((elapsedMs - delayMs_) / intervalMs_) + 1;
}

std::chrono::milliseconds KeyRepeatEmulator::margin() const {
    return std::chrono::milliseconds(std::clamp<std::uint32_t>(intervalMs_ / 2, 5, 25));
}

KeyRepeatEmulator::Owed KeyRepeatEmulator::settle(std::uint32_t serverTime) {
    Owed owed{held_->keycode, 0};
    // Server time is 32-bit milliseconds and wraps; the difference stays right across a wrap.
    auto elapsed = static_cast<std::int32_t>(serverTime - held_->pressServerTime);
    owed.count = std::max(repeatsAfter(elapsed) - held_->reported, 0);
    held_.reset();
    return owed;
}

KeyRepeatEmulator::Owed KeyRepeatEmulator::press(std::uint8_t keycode, bool repeats, std::uint32_t serverTime,
                                                 TimePoint now) {
    if (!repeats || !enabled_) {
        return {};
    }
    Owed owed;
    if (held_) {
        owed = settle(serverTime);
    }
    held_ = Held{keycode, serverTime, now, 0};
    return owed;
}

KeyRepeatEmulator::Owed KeyRepeatEmulator::release(std::uint8_t keycode, std::uint32_t serverTime) {
    if (!held_ || held_->keycode != keycode) {
        return {};
    }
    return settle(serverTime);
}

void KeyRepeatEmulator::cancel(std::uint8_t keycode) {
    if (held_ && held_->keycode == keycode) {
        held_.reset();
    }
}

KeyRepeatEmulator::Owed KeyRepeatEmulator::due(TimePoint now) {
    if (!held_) {
        return {};
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - held_->pressLocal - margin());
    int count = repeatsAfter(elapsed.count()) - held_->reported;
    if (count <= 0) {
        return {held_->keycode, 0};
    }
    held_->reported += count;
    return {held_->keycode, count};
}

std::optional<KeyRepeatEmulator::TimePoint> KeyRepeatEmulator::nextDeadline() const {
    if (!held_) {
        return std::nullopt;
    }
    auto offset =
        std::chrono::milliseconds(delayMs_ + static_cast<std::uint32_t>(held_->reported) * intervalMs_);
    return held_->pressLocal + offset + margin();
}

} // namespace korvane::x11
