#include "platform/linux/xtestkeysynthesizer.h"

#include "base/unicode.h"
#include "platform/keycodes.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/typingkeymap.h"
#include "platform/linux/xcbconnection.h"
#include "platform/linux/xkbkeyboard.h"

#include <algorithm>
#include <thread>
#include <vector>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace korvane::x11 {
namespace {

// Core modifier rows that change what a key types: Shift, Control, Mod1 (Alt), Mod3, Mod4 (Super)
// and Mod5 (AltGr). Lock and Mod2 (Num Lock) are lock keys nobody holds.
constexpr std::uint8_t heldModifierRows[] = {0, 2, 3, 5, 6, 7};

bool isDown(const xcb_query_keymap_reply_t& keymap, xcb_keycode_t keycode) {
    return (keymap.keys[keycode / 8] & (1u << (keycode % 8))) != 0;
}

} // namespace

XTestKeySynthesizer::XTestKeySynthesizer(std::shared_ptr<PostedKeyJournal> journal)
    : journal_(std::move(journal)) {}

XTestKeySynthesizer::~XTestKeySynthesizer() {
    std::lock_guard lock(mutex_);
    endInputLocked();
}

bool XTestKeySynthesizer::ensureConnection() {
    if (display_ && !display_->hasError()) {
        return true;
    }
    typing_.reset();
    releasedModifiers_.clear();
    display_ = XcbConnection::open();
    return display_ && display_->majorOpcode(&xcb_test_id) != 0;
}

void XTestKeySynthesizer::post(xkb_keycode_t keycode, bool press) {
    auto detail = static_cast<std::uint8_t>(keycode);
    // Recorded before it is sent, so the tap can never see the event first.
    journal_->record({detail, press, expectedState()});
    xcb_test_fake_input(display_->get(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, detail, XCB_CURRENT_TIME,
                        XCB_NONE, 0, 0, 0);
    if (modifierBits_[detail] != 0 && press) {
        modifierKeysDown_.insert(detail);
    } else if (modifierBits_[detail] != 0) {
        modifierKeysDown_.erase(detail);
    }
}

void XTestKeySynthesizer::snapshotModifiers() {
    modifierBits_.fill(0);
    modifierKeysDown_.clear();
    lockedBits_ = 0;
    xcb_connection_t* connection = display_->get();
    XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    XcbReply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr));
    auto keyboard = XkbKeyboard::create(connection, false);
    if (!modifiers || !keymap || !keyboard) {
        return;
    }
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perRow = modifiers->keycodes_per_modifier;
    for (int row = 0; row < 8; ++row) {
        for (int i = 0; i < perRow; ++i) {
            if (const xcb_keycode_t keycode = codes[row * perRow + i]; keycode != 0) {
                modifierBits_[keycode] = static_cast<std::uint8_t>(modifierBits_[keycode] | (1u << row));
            }
        }
    }
    for (int keycode = 0; keycode < 256; ++keycode) {
        if (modifierBits_[keycode] != 0 && isDown(*keymap, static_cast<xcb_keycode_t>(keycode))) {
            modifierKeysDown_.insert(static_cast<xkb_keycode_t>(keycode));
        }
    }
    lockedBits_ = static_cast<std::uint16_t>(keyboard->coreModifiers() & ~expectedState());
}

std::uint16_t XTestKeySynthesizer::expectedState() const {
    std::uint16_t state = lockedBits_;
    for (xkb_keycode_t keycode : modifierKeysDown_) {
        state = static_cast<std::uint16_t>(state | modifierBits_[keycode]);
    }
    return state;
}

void XTestKeySynthesizer::waitForWithheldKey() {
    // Typed while the key that accepted a completion (a withheld Tab) is still held, a key would
    // let that key's release reach the window. A key held longer than this is not waited for.
    journal_->waitWhileHoldingWithheldKey(withheldKeyWait);
}

bool XTestKeySynthesizer::finishRequests() {
    // A round trip: every request before it has been handled, and its errors have arrived.
    XcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(display_->get(), xcb_get_input_focus(display_->get()), nullptr));
    bool failed = !focus;
    // Errors of the requests without replies arrive as events on this connection; nobody else reads it.
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(display_->get())}) {
        failed = failed || event->response_type == 0;
    }
    return !failed && !display_->hasError();
}

std::vector<xkb_keycode_t> XTestKeySynthesizer::heldModifierKeys() {
    xcb_connection_t* connection = display_->get();
    XcbReply<xcb_get_modifier_mapping_reply_t> modifiers(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    XcbReply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr));
    std::vector<xkb_keycode_t> held;
    if (!modifiers || !keymap) {
        return held;
    }
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int perRow = modifiers->keycodes_per_modifier;
    for (std::uint8_t row : heldModifierRows) {
        for (int i = 0; i < perRow; ++i) {
            const xcb_keycode_t keycode = codes[row * perRow + i];
            if (keycode != 0 && isDown(*keymap, keycode) &&
                std::find(held.begin(), held.end(), keycode) == held.end()) {
                held.push_back(keycode);
            }
        }
    }
    return held;
}

bool XTestKeySynthesizer::beginInput() {
    std::lock_guard lock(mutex_);
    endInputLocked();
    waitForWithheldKey();
    if (!ensureConnection()) {
        return false;
    }
    typing_ = TypingKeymap::load(display_->get());
    if (!typing_) {
        return false;
    }
    // A modifier still held from the accepting key combination would turn Backspace into
    // Ctrl+Backspace and letters into shortcuts: wait for it briefly, then lift it ourselves.
    const auto deadline = std::chrono::steady_clock::now() + modifierWait;
    std::vector<xkb_keycode_t> held = heldModifierKeys();
    while (!held.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        held = heldModifierKeys();
    }
    snapshotModifiers();
    for (xkb_keycode_t keycode : held) {
        post(keycode, false);
    }
    releasedModifiers_ = std::move(held);
    return finishRequests();
}

void XTestKeySynthesizer::endInput() {
    std::lock_guard lock(mutex_);
    endInputLocked();
}

void XTestKeySynthesizer::endInputLocked() {
    pairKeyboard_.reset();
    if (!display_ || display_->hasError()) {
        typing_.reset();
        releasedModifiers_.clear();
        return;
    }
    if (typing_ && typing_->hasLentSpares()) {
        finishRequests();
        std::this_thread::sleep_for(spareRestoreDelay);
        typing_->restoreSpares();
    }
    typing_.reset();
    for (xkb_keycode_t keycode : releasedModifiers_) {
        post(keycode, true);
    }
    releasedModifiers_.clear();
    finishRequests();
}

bool XTestKeySynthesizer::postKeyPair(std::uint16_t keyCode, std::uint64_t flags) {
    std::lock_guard lock(mutex_);
    const bool inRun = typing_ != nullptr;
    if (!inRun) {
        waitForWithheldKey();
    }
    if (!ensureConnection()) {
        return false;
    }
    // Within a run the state is followed from its start; the server may not have caught up yet.
    if (!inRun) {
        snapshotModifiers();
    }
    // Outside a run each pair reads the keymap afresh, which keeps layout switches simple; within one
    // (a row of Backspaces, the caret moves) the first read serves the rest, saving its round trips.
    std::unique_ptr<XkbKeyboard> fresh;
    XkbKeyboard* keyboard = inRun ? pairKeyboard_.get() : nullptr;
    if (!keyboard) {
        fresh = XkbKeyboard::create(display_->get(), false);
        if (!fresh) {
            return false;
        }
        keyboard = fresh.get();
        if (inRun) {
            pairKeyboard_ = std::move(fresh);
        }
    }
    std::vector<xkb_keycode_t> keycodes = keyboard->keycodesForVirtualKey(keyCode);
    if (keycodes.empty() || keycodes.front() > 255) {
        return false;
    }
    std::vector<xkb_keycode_t> modifiers;
    auto addModifier = [&](std::uint64_t flag, xkb_keysym_t keysym) {
        if (flags & flag) {
            if (auto modifier = keyboard->keycodeForKeysym(keysym)) {
                modifiers.push_back(*modifier);
            }
        }
    };
    addModifier(keyflag::command | keyflag::control, XKB_KEY_Control_L);
    addModifier(keyflag::shift, XKB_KEY_Shift_L);
    addModifier(keyflag::option, XKB_KEY_Alt_L);

    for (xkb_keycode_t modifier : modifiers) {
        post(modifier, true);
    }
    post(keycodes.front(), true);
    post(keycodes.front(), false);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
        post(*it, false);
    }
    return finishRequests();
}

xkb_keysym_t XTestKeySynthesizer::keysymFor(char32_t codePoint) {
    // A line feed is typed as Return, the key every editor takes for a new line.
    return codePoint == U'\n' ? XKB_KEY_Return : xkb_utf32_to_keysym(codePoint);
}

void XTestKeySynthesizer::typeKeysym(xkb_keysym_t keysym) {
    if (const auto stroke = typing_->strokeFor(keysym)) {
        const auto shift = stroke->shift ? typing_->keycodeWithBaseSymbol(XKB_KEY_Shift_L) : std::nullopt;
        if (!stroke->shift || shift) {
            if (shift) {
                post(*shift, true);
            }
            post(stroke->keycode, true);
            post(stroke->keycode, false);
            if (shift) {
                post(*shift, false);
            }
            return;
        }
    }
    if (const auto spare = typing_->lendSpare(keysym)) {
        post(*spare, true);
        post(*spare, false);
    }
}

bool XTestKeySynthesizer::needsSpare(xkb_keysym_t keysym) {
    const auto stroke = typing_->strokeFor(keysym);
    return !stroke || (stroke->shift && !typing_->keycodeWithBaseSymbol(XKB_KEY_Shift_L));
}

bool XTestKeySynthesizer::postText(std::string_view text) {
    std::lock_guard lock(mutex_);
    if (!display_ || display_->hasError() || !typing_) {
        return false;
    }
    bool typedAll = true;
    std::vector<xkb_keysym_t> keysyms;
    for (std::size_t offset = 0; offset < text.size();) {
        const std::int32_t codePoint = nextCodePoint(text, offset);
        const xkb_keysym_t keysym =
            codePoint < 0 ? XKB_KEY_NoSymbol : keysymFor(static_cast<char32_t>(codePoint));
        if (keysym == XKB_KEY_NoSymbol) {
            typedAll = false;
        } else {
            keysyms.push_back(keysym);
        }
    }
    // Every spare a run of keys needs is lent before its first key: clients read the mapping when
    // they handle a key, and must find it complete whichever key they handle first.
    for (std::size_t begin = 0; begin < keysyms.size();) {
        std::size_t end = begin;
        while (end < keysyms.size() && (!needsSpare(keysyms[end]) || typing_->lendSpare(keysyms[end]))) {
            ++end;
        }
        if (end == begin) {
            // Every spare is lent: let clients catch up with those symbols before lending again.
            if (!typing_->hasLentSpares()) {
                typedAll = false;
                ++begin;
                continue;
            }
            finishRequests();
            std::this_thread::sleep_for(spareRestoreDelay);
            typing_->restoreSpares();
            continue;
        }
        for (std::size_t i = begin; i < end; ++i) {
            typeKeysym(keysyms[i]);
        }
        begin = end;
    }
    return finishRequests() && typedAll;
}

} // namespace korvane::x11
