#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <xkbcommon/xkbcommon.h>

// Translation between X11 keys and the core's virtual key codes and modifier flags. The keys that
// steer a completion session are recognised by keysym, so a remapped Return is still Return; the
// rest of the main block by position, the way the core's codes are defined.
namespace korvane::x11 {

// The core's code for a key producing `keysym` at X key code `keycode`.
std::uint16_t virtualKeyCode(xkb_keysym_t keysym, xkb_keycode_t keycode);

// The keysym that stands for a session key code (Return, Tab, arrows, ...), if it is one.
std::optional<xkb_keysym_t> keysymForVirtualKey(std::uint16_t keyCode);

// The X key code at the position of a core code for a key of the main block, if it is one.
std::optional<xkb_keycode_t> keycodeForPosition(std::uint16_t keyCode);

// Core X modifier bits (Shift, Lock, Control, Mod1...) to the core's flags: Control stands for
// Command; Super is not mapped.
std::uint64_t flagsFromModifiers(std::uint32_t coreModifiers);

// The inverse for the modifiers the flags can name.
std::uint32_t modifiersFromFlags(std::uint64_t flags);

// Shift, Control, Alt, Super, lock and group keys: keys that only change the flags.
bool isModifierKeysym(xkb_keysym_t keysym);

// The text a keysym inserts, or nothing for keys that insert none (control characters included).
std::optional<std::string> textForKeysym(xkb_keysym_t keysym);

} // namespace korvane::x11
