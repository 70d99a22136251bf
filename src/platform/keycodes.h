#pragma once

#include <cstdint>

// The virtual key codes and modifier masks that the input core speaks. Keyboard backends translate
// their own codes and modifier state into these, so key handling is the same on every platform.
namespace korvane::keycode {

inline constexpr std::uint16_t returnKey = 36;
inline constexpr std::uint16_t tab = 48;
inline constexpr std::uint16_t space = 49;
inline constexpr std::uint16_t backspace = 51;
inline constexpr std::uint16_t escape = 53;
inline constexpr std::uint16_t keypadEnter = 76;
// Help on the layout these codes come from; PC keyboards have Insert in its place.
inline constexpr std::uint16_t insert = 114;
inline constexpr std::uint16_t home = 115;
inline constexpr std::uint16_t pageUp = 116;
inline constexpr std::uint16_t forwardDelete = 117;
inline constexpr std::uint16_t end = 119;
inline constexpr std::uint16_t pageDown = 121;
inline constexpr std::uint16_t leftArrow = 123;
inline constexpr std::uint16_t rightArrow = 124;
inline constexpr std::uint16_t downArrow = 125;
inline constexpr std::uint16_t upArrow = 126;

// Codes at or above this value stand for keys without a code of their own; the low bits are the
// backend's own key number.
inline constexpr std::uint16_t unmappedBase = 0x8000;

} // namespace korvane::keycode

namespace korvane::keyflag {

inline constexpr std::uint64_t capsLock = 0x10000;
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;

} // namespace korvane::keyflag
