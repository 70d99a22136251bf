#include "platform/linux/keygrabs.h"

#include "platform/linux/keytranslation.h"
#include "platform/linux/xcbconnection.h"
#include "platform/linux/xkbkeyboard.h"

#include <algorithm>

namespace korvane::x11 {
namespace {

// Num Lock is Mod2 in every common keymap.
constexpr std::uint16_t lockCombinations[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                              XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
// A key claimed by code is withheld whatever the modifiers; Alt and Super combinations are left
// to the window manager, whose shortcuts live there.
constexpr std::uint16_t keyCodeModifiers[] = {0, XCB_MOD_MASK_SHIFT, XCB_MOD_MASK_CONTROL,
                                              XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL};

// Sequence numbers are 32-bit and wrap; compared by their difference.
bool atOrAfter(std::uint32_t sequence, std::uint32_t reference) {
    return static_cast<std::int32_t>(sequence - reference) >= 0;
}

} // namespace

std::set<KeyGrabs::Grab> KeyGrabs::wanted(const KeyClaimSet& claims,
                                          const std::set<std::uint8_t>& extraKeycodes,
                                          const XkbKeyboard& keyboard) const {
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
    for (std::uint8_t keycode : extraKeycodes) {
        for (std::uint16_t modifiers : keyCodeModifiers) {
            add({keycode}, modifiers);
        }
    }
    return result;
}

void KeyGrabs::apply(const KeyClaimSet& claims, const std::set<std::uint8_t>& extraKeycodes,
                     const XkbKeyboard& keyboard) {
    std::set<Grab> target = wanted(claims, extraKeycodes, keyboard);
    for (auto it = grabs_.begin(); it != grabs_.end();) {
        if (target.count(it->first) == 0) {
            xcb_void_cookie_t cookie = xcb_ungrab_key(connection_, it->first.first, root_, it->first.second);
            ended_.push_back({it->first, it->second, cookie.sequence});
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
            grabs_.emplace(grab, cookie.sequence);
        }
    }
    xcb_flush(connection_);
}

void KeyGrabs::releaseAll() {
    for (const auto& entry : grabs_) {
        xcb_ungrab_key(connection_, entry.first.first, root_, entry.first.second);
    }
    forget();
    xcb_flush(connection_);
}

void KeyGrabs::forget() {
    grabs_.clear();
    ended_.clear();
}

void KeyGrabs::endAll(std::uint32_t sequence) {
    for (const auto& [grab, since] : grabs_) {
        ended_.push_back({grab, since, sequence});
    }
    grabs_.clear();
}

bool KeyGrabs::covers(std::uint8_t keycode, std::uint32_t coreModifiers) const {
    return grabs_.count(Grab{keycode, static_cast<std::uint16_t>(coreModifiers & 0xff)}) != 0;
}

bool KeyGrabs::coveredAt(std::uint8_t keycode, std::uint32_t coreModifiers, std::uint32_t sequence) {
    // Later events come from later server states: grabs that ended before this one are done with.
    std::erase_if(ended_, [&](const Ended& ended) { return atOrAfter(sequence, ended.until); });
    const Grab grab{keycode, static_cast<std::uint16_t>(coreModifiers & 0xff)};
    if (auto it = grabs_.find(grab); it != grabs_.end() && atOrAfter(sequence, it->second)) {
        return true;
    }
    return std::any_of(ended_.begin(), ended_.end(), [&](const Ended& ended) {
        return ended.grab == grab && atOrAfter(sequence, ended.since);
    });
}

} // namespace korvane::x11
