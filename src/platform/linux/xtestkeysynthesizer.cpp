#include "platform/linux/xtestkeysynthesizer.h"

#include "platform/keycodes.h"
#include "platform/linux/keytranslation.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/xcbconnection.h"
#include "platform/linux/xkbkeyboard.h"

#include <vector>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace korvane::x11 {

XTestKeySynthesizer::XTestKeySynthesizer(std::shared_ptr<PostedKeyJournal> journal)
    : journal_(std::move(journal)) {}

XTestKeySynthesizer::~XTestKeySynthesizer() = default;

bool XTestKeySynthesizer::ensureConnection() {
    if (display_ && !display_->hasError()) {
        return true;
    }
    display_ = XcbConnection::open();
    return display_ && display_->majorOpcode(&xcb_test_id) != 0;
}

void XTestKeySynthesizer::post(xkb_keycode_t keycode, bool press, int state) {
    auto detail = static_cast<std::uint8_t>(keycode);
    // Recorded before it is sent, so the tap can never see the event first.
    journal_->record({detail, press, static_cast<std::uint16_t>(state)});
    xcb_test_fake_input(display_->get(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, detail, XCB_CURRENT_TIME,
                        XCB_NONE, 0, 0, 0);
}

bool XTestKeySynthesizer::postKeyPair(std::uint16_t keyCode, std::uint64_t flags) {
    std::lock_guard lock(mutex_);
    // Typed into the middle of a held, withheld key (the Tab that accepted a completion), a key
    // would let that key's release reach the window. A key held longer than this is not waited for.
    journal_->waitWhileHoldingWithheldKey(std::chrono::milliseconds(1000));
    if (!ensureConnection()) {
        return false;
    }
    // A snapshot of the keymap per pair keeps layout switches simple; it costs a few round trips.
    auto keyboard = XkbKeyboard::create(display_->get(), false);
    if (!keyboard) {
        return false;
    }
    std::vector<xkb_keycode_t> keycodes = keyboard->keycodesForVirtualKey(keyCode);
    if (keycodes.empty() || keycodes.front() > 255) {
        return false;
    }
    struct Modifier {
        xkb_keycode_t keycode;
        std::uint16_t mask;
    };
    std::vector<Modifier> modifiers;
    auto addModifier = [&](std::uint64_t flag, xkb_keysym_t keysym) {
        if (flags & flag) {
            if (auto modifier = keyboard->keycodeForKeysym(keysym)) {
                modifiers.push_back({*modifier, static_cast<std::uint16_t>(modifiersFromFlags(flag))});
            }
        }
    };
    addModifier(keyflag::command | keyflag::control, XKB_KEY_Control_L);
    addModifier(keyflag::shift, XKB_KEY_Shift_L);
    addModifier(keyflag::option, XKB_KEY_Alt_L);

    // The state each event will meet: whatever is held now, plus the modifiers pressed before it.
    const auto held = static_cast<std::uint16_t>(keyboard->coreModifiers());
    std::uint16_t ours = 0;
    for (const Modifier& modifier : modifiers) {
        post(modifier.keycode, true, held | ours);
        ours = static_cast<std::uint16_t>(ours | modifier.mask);
    }
    post(keycodes.front(), true, held | ours);
    post(keycodes.front(), false, held | ours);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        post(it->keycode, false, held | ours);
        ours = static_cast<std::uint16_t>(ours & ~it->mask);
    }
    xcb_flush(display_->get());
    // Errors of these requests arrive as events on this connection; nobody else reads it.
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(display_->get())}) {
    }
    return !display_->hasError();
}

} // namespace korvane::x11
