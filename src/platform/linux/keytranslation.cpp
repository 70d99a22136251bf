#include "platform/linux/keytranslation.h"

#include "platform/keycodes.h"

#include <utility>
#include <xcb/xproto.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace korvane::x11 {
namespace {

struct KeysymCode {
    xkb_keysym_t keysym;
    std::uint16_t keyCode;
};

// The first entry for a code is the keysym used to type it.
constexpr KeysymCode keysymCodes[] = {
    {XKB_KEY_Return, keycode::returnKey},
    {XKB_KEY_KP_Enter, keycode::returnKey},
    {XKB_KEY_Tab, keycode::tab},
    {XKB_KEY_ISO_Left_Tab, keycode::tab},
    {XKB_KEY_space, keycode::space},
    {XKB_KEY_BackSpace, keycode::backspace},
    {XKB_KEY_Escape, keycode::escape},
    {XKB_KEY_Home, keycode::home},
    {XKB_KEY_KP_Home, keycode::home},
    {XKB_KEY_End, keycode::end},
    {XKB_KEY_KP_End, keycode::end},
    {XKB_KEY_Left, keycode::leftArrow},
    {XKB_KEY_KP_Left, keycode::leftArrow},
    {XKB_KEY_Right, keycode::rightArrow},
    {XKB_KEY_KP_Right, keycode::rightArrow},
    {XKB_KEY_Down, keycode::downArrow},
    {XKB_KEY_KP_Down, keycode::downArrow},
    {XKB_KEY_Up, keycode::upArrow},
    {XKB_KEY_KP_Up, keycode::upArrow},
    {XKB_KEY_Prior, keycode::pageUp},
    {XKB_KEY_KP_Prior, keycode::pageUp},
    {XKB_KEY_Next, keycode::pageDown},
    {XKB_KEY_KP_Next, keycode::pageDown},
    {XKB_KEY_Delete, keycode::forwardDelete},
    {XKB_KEY_KP_Delete, keycode::forwardDelete},
    {XKB_KEY_F1, 122},
    {XKB_KEY_F2, 120},
    {XKB_KEY_F3, 99},
    {XKB_KEY_F4, 118},
    {XKB_KEY_F5, 96},
    {XKB_KEY_F6, 97},
    {XKB_KEY_F7, 98},
    {XKB_KEY_F8, 100},
    {XKB_KEY_F9, 101},
    {XKB_KEY_F10, 109},
    {XKB_KEY_F11, 103},
    {XKB_KEY_F12, 111},
    {XKB_KEY_F13, 105},
    {XKB_KEY_F14, 107},
    {XKB_KEY_F15, 113},
    {XKB_KEY_Insert, 114},
    {XKB_KEY_Help, 114},
};

struct PositionCode {
    xkb_keycode_t keycode;
    std::uint16_t keyCode;
};

// X key codes of the evdev keyboard model at the positions of the core's codes.
constexpr PositionCode positionCodes[] = {
    {10, 18}, {11, 19}, {12, 20}, {13, 21}, {14, 23}, {15, 22}, {16, 26}, {17, 28}, {18, 25}, {19, 29},
    {20, 27}, {21, 24}, {24, 12}, {25, 13}, {26, 14}, {27, 15}, {28, 17}, {29, 16}, {30, 32}, {31, 34},
    {32, 31}, {33, 35}, {34, 33}, {35, 30}, {38, 0},  {39, 1},  {40, 2},  {41, 3},  {42, 5},  {43, 4},
    {44, 38}, {45, 40}, {46, 37}, {47, 41}, {48, 39}, {49, 50}, {51, 42}, {52, 6},  {53, 7},  {54, 8},
    {55, 9},  {56, 11}, {57, 45}, {58, 46}, {59, 43}, {60, 47}, {61, 44}, {94, 10},
};

} // namespace

std::uint16_t virtualKeyCode(xkb_keysym_t keysym, xkb_keycode_t keycode) {
    for (const KeysymCode& entry : keysymCodes) {
        if (entry.keysym == keysym) {
            return entry.keyCode;
        }
    }
    for (const PositionCode& entry : positionCodes) {
        if (entry.keycode == keycode) {
            return entry.keyCode;
        }
    }
    return static_cast<std::uint16_t>(keycode::unmappedBase | (keycode & 0x7fff));
}

std::optional<xkb_keysym_t> keysymForVirtualKey(std::uint16_t keyCode) {
    for (const KeysymCode& entry : keysymCodes) {
        if (entry.keyCode == keyCode) {
            return entry.keysym;
        }
    }
    return std::nullopt;
}

std::optional<xkb_keycode_t> keycodeForPosition(std::uint16_t keyCode) {
    for (const PositionCode& entry : positionCodes) {
        if (entry.keyCode == keyCode) {
            return entry.keycode;
        }
    }
    if (keyCode >= keycode::unmappedBase) {
        return static_cast<xkb_keycode_t>(keyCode & 0x7fff);
    }
    return std::nullopt;
}

std::uint64_t flagsFromModifiers(std::uint32_t coreModifiers) {
    std::uint64_t flags = 0;
    if (coreModifiers & XCB_MOD_MASK_SHIFT) {
        flags |= keyflag::shift;
    }
    if (coreModifiers & XCB_MOD_MASK_LOCK) {
        flags |= keyflag::capsLock;
    }
    if (coreModifiers & XCB_MOD_MASK_CONTROL) {
        flags |= keyflag::command;
    }
    if (coreModifiers & XCB_MOD_MASK_1) {
        flags |= keyflag::option;
    }
    return flags;
}

std::uint32_t modifiersFromFlags(std::uint64_t flags) {
    std::uint32_t modifiers = 0;
    if (flags & keyflag::shift) {
        modifiers |= XCB_MOD_MASK_SHIFT;
    }
    if (flags & keyflag::capsLock) {
        modifiers |= XCB_MOD_MASK_LOCK;
    }
    if (flags & (keyflag::command | keyflag::control)) {
        modifiers |= XCB_MOD_MASK_CONTROL;
    }
    if (flags & keyflag::option) {
        modifiers |= XCB_MOD_MASK_1;
    }
    return modifiers;
}

bool isModifierKeysym(xkb_keysym_t keysym) {
    return (keysym >= XKB_KEY_Shift_L && keysym <= XKB_KEY_Hyper_R) ||
           (keysym >= XKB_KEY_ISO_Lock && keysym <= XKB_KEY_ISO_Level5_Lock) ||
           keysym == XKB_KEY_Mode_switch || keysym == XKB_KEY_Num_Lock || keysym == XKB_KEY_Scroll_Lock;
}

std::optional<std::string> textForKeysym(xkb_keysym_t keysym) {
    // Computed from the keysym alone: Control never turns a letter into a control character here.
    std::uint32_t codepoint = xkb_keysym_to_utf32(keysym);
    if (codepoint == 0 || codepoint < 0x20 || (codepoint >= 0x7f && codepoint < 0xa0)) {
        return std::nullopt;
    }
    // Keysyms of surrogate code points exist but stand for no character; encoded, they would be
    // ill-formed text.
    if ((codepoint >= 0xd800 && codepoint <= 0xdfff) || codepoint > 0x10ffff) {
        return std::nullopt;
    }
    char buffer[8] = {};
    int written = xkb_keysym_to_utf8(keysym, buffer, sizeof buffer);
    if (written <= 1) {
        return std::nullopt;
    }
    return std::string(buffer, static_cast<std::size_t>(written - 1));
}

} // namespace korvane::x11
