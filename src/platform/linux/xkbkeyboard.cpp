#include "platform/linux/xkbkeyboard.h"

#include "base/unicode.h"
#include "platform/linux/keytranslation.h"
#include "platform/linux/xcbconnection.h"

#include <algorithm>
// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

namespace korvane::x11 {
namespace {

constexpr std::uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                                   XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                                   XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                                   XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
constexpr std::uint16_t stateParts = XCB_XKB_STATE_PART_MODIFIER_BASE | XCB_XKB_STATE_PART_MODIFIER_LATCH |
                                     XCB_XKB_STATE_PART_MODIFIER_LOCK | XCB_XKB_STATE_PART_GROUP_BASE |
                                     XCB_XKB_STATE_PART_GROUP_LATCH | XCB_XKB_STATE_PART_GROUP_LOCK;

// The common head of every XKB event: the event subtype sits in the second byte.
struct XkbAnyEvent {
    std::uint8_t responseType;
    std::uint8_t xkbType;
    std::uint16_t sequence;
    xcb_timestamp_t time;
    std::uint8_t deviceID;
};

} // namespace

XkbKeyboard::XkbKeyboard(xcb_connection_t* connection)
    : connection_(connection) {}

XkbKeyboard::~XkbKeyboard() {
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

std::unique_ptr<XkbKeyboard> XkbKeyboard::create(xcb_connection_t* connection, bool follow) {
    std::unique_ptr<XkbKeyboard> keyboard(new XkbKeyboard(connection));
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                     &keyboard->firstEvent_, nullptr)) {
        return nullptr;
    }
    keyboard->deviceId_ = xkb_x11_get_core_keyboard_device_id(connection);
    keyboard->context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (keyboard->deviceId_ < 0 || keyboard->context_ == nullptr || !keyboard->load()) {
        return nullptr;
    }
    if (!follow) {
        return keyboard;
    }
    xcb_xkb_select_events_details_t details = {};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = stateParts;
    details.stateDetails = stateParts;
    details.affectCtrls =
        std::uint32_t{XCB_XKB_BOOL_CTRL_REPEAT_KEYS} | std::uint32_t{XCB_XKB_CONTROL_PER_KEY_REPEAT};
    details.ctrlDetails = details.affectCtrls;
    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_STATE_NOTIFY | XCB_XKB_EVENT_TYPE_CONTROLS_NOTIFY;
    xcb_xkb_select_events_aux(connection, static_cast<xcb_xkb_device_spec_t>(keyboard->deviceId_), events, 0,
                              0, mapParts, mapParts, &details);
    // A key held under a grab then repeats as further presses only, without a made-up release
    // before each: the only release that comes is the real one.
    constexpr std::uint32_t detectable = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    XcbReply<xcb_xkb_per_client_flags_reply_t> flags(xcb_xkb_per_client_flags_reply(
        connection,
        xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, detectable, detectable, 0, 0, 0),
        nullptr));
    if (!flags || (flags->value & detectable) == 0) {
        return nullptr;
    }
    return keyboard;
}

bool XkbKeyboard::load() {
    xkb_keymap* keymap =
        xkb_x11_keymap_new_from_device(context_, connection_, deviceId_, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap == nullptr) {
        return false;
    }
    xkb_state* state = xkb_x11_state_new_from_device(keymap, connection_, deviceId_);
    if (state == nullptr) {
        xkb_keymap_unref(keymap);
        return false;
    }
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    keymap_ = keymap;
    state_ = state;
    ++keymapGeneration_;
    readControls();
    return true;
}

void XkbKeyboard::readControls() {
    XcbReply<xcb_xkb_get_controls_reply_t> controls(xcb_xkb_get_controls_reply(
        connection_, xcb_xkb_get_controls(connection_, static_cast<xcb_xkb_device_spec_t>(deviceId_)),
        nullptr));
    if (!controls) {
        return;
    }
    repeatEnabled_ = (controls->enabledControls & XCB_XKB_BOOL_CTRL_REPEAT_KEYS) != 0;
    repeatDelayMs_ = controls->repeatDelay;
    repeatIntervalMs_ = std::max<std::uint32_t>(controls->repeatInterval, 1);
}

bool XkbKeyboard::handleEvent(const xcb_generic_event_t* event) {
    if ((event->response_type & 0x7f) != firstEvent_) {
        return false;
    }
    const auto* any = reinterpret_cast<const XkbAnyEvent*>(event);
    if (any->deviceID != deviceId_) {
        return true;
    }
    switch (any->xkbType) {
    case XCB_XKB_STATE_NOTIFY: {
        const auto* state = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
        xkb_state_update_mask(state_, state->baseMods, state->latchedMods, state->lockedMods,
                              static_cast<xkb_layout_index_t>(state->baseGroup),
                              static_cast<xkb_layout_index_t>(state->latchedGroup), state->lockedGroup);
        break;
    }
    case XCB_XKB_NEW_KEYBOARD_NOTIFY:
    case XCB_XKB_MAP_NOTIFY:
        load();
        break;
    case XCB_XKB_CONTROLS_NOTIFY:
        readControls();
        break;
    default:
        break;
    }
    return true;
}

TranslatedKey XkbKeyboard::translate(xkb_keycode_t keycode) const {
    TranslatedKey key;
    const xkb_keysym_t* syms = nullptr;
    int count = xkb_state_key_get_syms(state_, keycode, &syms);
    xkb_keysym_t first = count > 0 ? syms[0] : XKB_KEY_NoSymbol;
    key.isModifier = isModifierKeysym(first) || isModifierKeysym(unshiftedKeysym(keycode));
    key.keyCode = virtualKeyCode(first, keycode);
    key.flags = flagsFromModifiers(coreModifiers());
    std::string text;
    for (int i = 0; i < count; ++i) {
        std::optional<std::string> part = textForKeysym(syms[i]);
        if (!part) {
            text.clear();
            break;
        }
        text += *part;
    }
    if (!text.empty()) {
        key.characters = std::move(text);
    }
    return key;
}

std::uint32_t XkbKeyboard::coreModifiers() const {
    // X11 keymaps put the eight real modifiers first, in core order.
    return static_cast<std::uint32_t>(xkb_state_serialize_mods(state_, XKB_STATE_MODS_EFFECTIVE) & 0xff);
}

xkb_keysym_t XkbKeyboard::unshiftedKeysym(xkb_keycode_t keycode) const {
    const xkb_keysym_t* syms = nullptr;
    int count = xkb_keymap_key_get_syms_by_level(keymap_, keycode, 0, 0, &syms);
    return count > 0 ? syms[0] : XKB_KEY_NoSymbol;
}

std::vector<xkb_keycode_t> XkbKeyboard::keycodesForVirtualKey(std::uint16_t keyCode) const {
    std::vector<xkb_keycode_t> keycodes;
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_); keycode <= xkb_keymap_max_keycode(keymap_);
         ++keycode) {
        xkb_keysym_t keysym = unshiftedKeysym(keycode);
        if (keysym != XKB_KEY_NoSymbol && virtualKeyCode(keysym, keycode) == keyCode) {
            keycodes.push_back(keycode);
        }
    }
    return keycodes;
}

std::vector<xkb_keycode_t> XkbKeyboard::keycodesForCharacter(const std::string& character) const {
    std::vector<xkb_keycode_t> keycodes;
    std::string wanted = asciiLowercased(character);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_); keycode <= xkb_keymap_max_keycode(keymap_);
         ++keycode) {
        std::optional<std::string> text = textForKeysym(unshiftedKeysym(keycode));
        if (text && asciiLowercased(*text) == wanted) {
            keycodes.push_back(keycode);
        }
    }
    return keycodes;
}

std::optional<xkb_keycode_t> XkbKeyboard::keycodeForKeysym(xkb_keysym_t keysym) const {
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_); keycode <= xkb_keymap_max_keycode(keymap_);
         ++keycode) {
        if (unshiftedKeysym(keycode) == keysym) {
            return keycode;
        }
    }
    return std::nullopt;
}

bool XkbKeyboard::keyRepeats(xkb_keycode_t keycode) const {
    return repeatEnabled_ && xkb_keymap_key_repeats(keymap_, keycode) != 0;
}

} // namespace korvane::x11
