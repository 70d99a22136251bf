#include "platform/linux/keytranslation.h"

#include "platform/keycodes.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include <xcb/xproto.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace korvane::x11 {
namespace {

TEST(KeyTranslationTest, SessionKeysAreKnownByKeysymWhereverTheyAre) {
    struct Case {
        xkb_keysym_t keysym;
        xkb_keycode_t keycode;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {XKB_KEY_Return, 36, keycode::returnKey},
        {XKB_KEY_KP_Enter, 104, keycode::returnKey},
        {XKB_KEY_Tab, 23, keycode::tab},
        {XKB_KEY_ISO_Left_Tab, 23, keycode::tab},
        {XKB_KEY_space, 65, keycode::space},
        {XKB_KEY_BackSpace, 22, keycode::backspace},
        {XKB_KEY_Escape, 9, keycode::escape},
        {XKB_KEY_Home, 110, keycode::home},
        {XKB_KEY_KP_End, 87, keycode::end},
        {XKB_KEY_Left, 113, keycode::leftArrow},
        {XKB_KEY_Right, 114, keycode::rightArrow},
        {XKB_KEY_Down, 116, keycode::downArrow},
        {XKB_KEY_Up, 111, keycode::upArrow},
        // Caps Lock remapped to Escape is still Escape.
        {XKB_KEY_Escape, 66, keycode::escape},
        // Letters and digits by position: a, s, q, 1, semicolon, c.
        {XKB_KEY_a, 38, 0},
        {XKB_KEY_s, 39, 1},
        {XKB_KEY_q, 24, 12},
        {XKB_KEY_1, 10, 18},
        {XKB_KEY_semicolon, 47, 41},
        {XKB_KEY_c, 54, 8},
        // A French keyboard's "a" sits where "q" is.
        {XKB_KEY_a, 24, 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(virtualKeyCode(c.keysym, c.keycode), c.expected)
            << std::hex << c.keysym << " at " << std::dec << c.keycode;
    }
    EXPECT_EQ(virtualKeyCode(XKB_KEY_XF86AudioMute, 121), keycode::unmappedBase | 121);
    EXPECT_EQ(keycodeForPosition(keycode::unmappedBase | 121), 121u);
    EXPECT_EQ(keysymForVirtualKey(keycode::returnKey), XKB_KEY_Return);
    EXPECT_EQ(keycodeForPosition(8), 54u);
}

TEST(KeyTranslationTest, ControlStandsForCommandAndSuperIsNotMapped) {
    EXPECT_EQ(flagsFromModifiers(XCB_MOD_MASK_CONTROL), keyflag::command);
    EXPECT_EQ(flagsFromModifiers(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_1), keyflag::shift | keyflag::option);
    EXPECT_EQ(flagsFromModifiers(XCB_MOD_MASK_LOCK), keyflag::capsLock);
    EXPECT_EQ(flagsFromModifiers(XCB_MOD_MASK_4 | XCB_MOD_MASK_2), 0u);
    EXPECT_EQ(modifiersFromFlags(keyflag::command | keyflag::shift),
              XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT);
}

TEST(KeyTranslationTest, ModifierKeysAndTextOfKeysyms) {
    for (xkb_keysym_t keysym :
         {XKB_KEY_Shift_L, XKB_KEY_Control_R, XKB_KEY_Alt_L, XKB_KEY_Super_L, XKB_KEY_ISO_Level3_Shift,
          XKB_KEY_Caps_Lock, XKB_KEY_Num_Lock, XKB_KEY_Mode_switch}) {
        EXPECT_TRUE(isModifierKeysym(keysym)) << std::hex << keysym;
    }
    for (xkb_keysym_t keysym : {XKB_KEY_a, XKB_KEY_Return, XKB_KEY_space, XKB_KEY_F1}) {
        EXPECT_FALSE(isModifierKeysym(keysym)) << std::hex << keysym;
    }
    EXPECT_EQ(textForKeysym(XKB_KEY_c), "c");
    EXPECT_EQ(textForKeysym(XKB_KEY_space), " ");
    EXPECT_EQ(textForKeysym(XKB_KEY_eacute), "\xc3\xa9");
    EXPECT_EQ(textForKeysym(XKB_KEY_Return), std::nullopt);
    EXPECT_EQ(textForKeysym(XKB_KEY_BackSpace), std::nullopt);
    EXPECT_EQ(textForKeysym(XKB_KEY_Delete), std::nullopt);
    EXPECT_EQ(textForKeysym(XKB_KEY_Left), std::nullopt);
}

TEST(KeyTranslationTest, OnlyKeysymsOfUnicodeScalarValuesHaveText) {
    const std::vector<std::pair<xkb_keysym_t, std::optional<std::string>>> cases = {
        {0x100d7ff, "\xed\x9f\xbf"},     {0x100d800, std::nullopt}, {0x100dbff, std::nullopt},
        {0x100dc00, std::nullopt},       {0x100dfff, std::nullopt}, {0x100e000, "\xee\x80\x80"},
        {0x110ffff, "\xf4\x8f\xbf\xbf"}, {0x1110000, std::nullopt},
    };
    for (const auto& [keysym, text] : cases) {
        EXPECT_EQ(textForKeysym(keysym), text) << std::hex << keysym;
    }
}

} // namespace
} // namespace korvane::x11
