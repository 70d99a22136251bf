#include "platform/linux/keygrabs.h"

#include "platform/linux/keytranslation.h"
#include "platform/linux/xcbconnection.h"
#include "platform/linux/xkbkeyboard.h"

#include <vector>

namespace korvane::x11 {
namespace {

// Num Lock is Mod2 in every common keymap.
constexpr std::uint16_t lockCombinations[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                              XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
// A key claimed by code is withheld whatever the modifiers; Alt and Super combinations are left
// to the window manager, whose shortcuts live there.
constexpr std::uint16_t keyCodeModifiers[] = {0, XCB_MOD_MASK_SHIFT, XCB_MOD_MASK_CONTROL,
                                              XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL};

} // namespace

std::set<KeyGrabs::Grab> KeyGrabs::wanted(const KeyClaimSet& claims, const XkbKeyboard& keyboard) const {
    std::set<Grab> result;
    auto add = [&](const std::vector<xkb_keycode_t>& keycodes, std::uint16_t modifiers) {
        for (xkb_keycode_t keycode : keycodes) {
            if (keycode > 255) {
                continue;
            }
            for (std::uint16_t locks : lockCombinations) {
                result.emplace(static_cast<std::uint8_t>(keycode),
                               static_cast<std::uint16_t>(modifiers | locks));
            }
        }
    };
    for (const KeyClaim& claim : claims) {
        if (claim.character.empty()) {
            auto keycodes = keyboard.keycodesForVirtualKey(claim.keyCode);
            for (std::uint16_t modifiers : keyCodeModifiers) {
                add(keycodes, modifiers);
            }
        } else {
            auto keycodes = keyboard.keycodesForCharacter(claim.character);
            auto required = static_cast<std::uint16_t>(modifiersFromFlags(claim.requiredFlags));
            add(keycodes, required);
            add(keycodes, static_cast<std::uint16_t>(required | XCB_MOD_MASK_SHIFT));
        }
    }
    return result;
}

void KeyGrabs::apply(const KeyClaimSet& claims, const XkbKeyboard& keyboard) {
    std::set<Grab> target = wanted(claims, keyboard);
    for (auto it = grabs_.begin(); it != grabs_.end();) {
        if (target.count(*it) == 0) {
            xcb_ungrab_key(connection_, it->first, root_, it->second);
            it = grabs_.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<std::pair<Grab, xcb_void_cookie_t>> requests;
    for (const Grab& grab : target) {
        if (grabs_.count(grab) == 0) {
            requests.emplace_back(grab, xcb_grab_key_checked(connection_, 0, root_, grab.second, grab.first,
                                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
        }
    }
    for (auto& [grab, cookie] : requests) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
        if (!error) {
            grabs_.insert(grab);
        }
    }
    xcb_flush(connection_);
}

void KeyGrabs::releaseAll() {
    for (const Grab& grab : grabs_) {
        xcb_ungrab_key(connection_, grab.first, root_, grab.second);
    }
    grabs_.clear();
    xcb_flush(connection_);
}

bool KeyGrabs::covers(std::uint8_t keycode, std::uint32_t coreModifiers) const {
    return grabs_.count(Grab{keycode, static_cast<std::uint16_t>(coreModifiers & 0xff)}) != 0;
}

} // namespace korvane::x11
