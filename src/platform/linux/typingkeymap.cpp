#include "platform/linux/typingkeymap.h"

#include "platform/linux/xcbconnection.h"

#include <algorithm>
#include <xkbcommon/xkbcommon-x11.h>

namespace korvane::x11 {

std::unique_ptr<TypingKeymap> TypingKeymap::load(xcb_connection_t* connection) {
    std::unique_ptr<TypingKeymap> keymap(new TypingKeymap(connection));
    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
        return nullptr;
    }
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    keymap->context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (device < 0 || keymap->context_ == nullptr) {
        return nullptr;
    }
    keymap->keymap_ = xkb_x11_keymap_new_from_device(keymap->context_, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap->keymap_ == nullptr) {
        return nullptr;
    }
    keymap->state_ = xkb_x11_state_new_from_device(keymap->keymap_, connection, device);
    if (keymap->state_ == nullptr) {
        return nullptr;
    }
    keymap->lockedMods_ = xkb_state_serialize_mods(keymap->state_, XKB_STATE_MODS_LOCKED);
    keymap->layout_ = xkb_state_serialize_layout(keymap->state_, XKB_STATE_LAYOUT_EFFECTIVE);
    const xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap->keymap_, XKB_MOD_NAME_SHIFT);
    keymap->shiftMask_ = shift == XKB_MOD_INVALID ? 0 : (1u << shift);
    if (!keymap->readSpares()) {
        return nullptr;
    }
    return keymap;
}

TypingKeymap::~TypingKeymap() {
    restoreSpares();
    xkb_state_unref(state_);
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

bool TypingKeymap::readSpares() {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const auto first = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, first, count), nullptr));
    if (!mapping) {
        return false;
    }
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perKey = mapping->keysyms_per_keycode;
    // From the top: low codes without symbols are more likely to be claimed by a later layout.
    for (int index = count - 1; index >= 0; --index) {
        const xcb_keysym_t* row = keysyms + index * perKey;
        if (std::all_of(row, row + perKey, [](xcb_keysym_t keysym) { return keysym == XCB_NO_SYMBOL; })) {
            spares_.push_back(static_cast<xkb_keycode_t>(first + index));
        }
    }
    return true;
}

bool TypingKeymap::produces(xkb_keycode_t keycode, bool shift, xkb_keysym_t keysym) {
    xkb_state_update_mask(state_, shift ? shiftMask_ : 0, 0, lockedMods_, 0, 0, layout_);
    return xkb_state_key_get_one_sym(state_, keycode) == keysym;
}

std::optional<TypingKeymap::Stroke> TypingKeymap::strokeFor(xkb_keysym_t keysym) {
    if (const auto found = strokes_.find(keysym); found != strokes_.end()) {
        return found->second;
    }
    std::optional<Stroke> stroke;
    for (bool shift : {false, true}) {
        for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_);
             !stroke && keycode <= std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_), 255); ++keycode) {
            if (produces(keycode, shift, keysym)) {
                stroke = Stroke{keycode, shift};
            }
        }
        if (stroke) {
            break;
        }
    }
    strokes_[keysym] = stroke;
    return stroke;
}

std::optional<xkb_keycode_t> TypingKeymap::keycodeWithBaseSymbol(xkb_keysym_t keysym) const {
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_);
         keycode <= std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_), 255); ++keycode) {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap_, keycode, 0, 0, &syms) > 0 && syms[0] == keysym) {
            return keycode;
        }
    }
    return std::nullopt;
}

std::optional<xkb_keycode_t> TypingKeymap::lendSpare(xkb_keysym_t keysym) {
    if (const auto found = lent_.find(keysym); found != lent_.end()) {
        return found->second;
    }
    if (lent_.size() >= spares_.size()) {
        return std::nullopt;
    }
    const xkb_keycode_t keycode = spares_[lent_.size()];
    // The same symbol on both levels, so that Shift or Caps Lock cannot change it.
    const xcb_keysym_t keysyms[2] = {keysym, keysym};
    xcb_change_keyboard_mapping(connection_, 1, static_cast<xcb_keycode_t>(keycode), 2, keysyms);
    lent_.emplace(keysym, keycode);
    return keycode;
}

void TypingKeymap::restoreSpares() {
    if (lent_.empty()) {
        return;
    }
    const xcb_keysym_t none[2] = {XCB_NO_SYMBOL, XCB_NO_SYMBOL};
    for (const auto& [keysym, keycode] : lent_) {
        xcb_change_keyboard_mapping(connection_, 1, static_cast<xcb_keycode_t>(keycode), 2, none);
    }
    lent_.clear();
    xcb_flush(connection_);
}

} // namespace korvane::x11
