#pragma once

#include "platform/keysynthesizer.h"

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <vector>
#include <xkbcommon/xkbcommon.h>

namespace korvane::x11 {

class PostedKeyJournal;
class TypingKeymap;
class XcbConnection;
class XkbKeyboard;

// Types keys through XTEST on a connection of its own, recording each event in the journal first
// so that the tap knows it for Korvane's own. Text is typed by symbol: with the key (and Shift) of
// the active layout where it has one, otherwise on a spare key code lent to the symbol for the run
// of input. Any thread; posts are serialised.
class XTestKeySynthesizer final : public KeySynthesizer {
public:
    // How long beginInput() waits for the user to let go of modifier keys before releasing them.
    static constexpr std::chrono::milliseconds modifierWait{300};
    // How long lent key codes keep their symbol after the last key, for clients that read the
    // keyboard mapping only when they handle the key.
    static constexpr std::chrono::milliseconds spareRestoreDelay{300};
    // How long a run waits for the tap to stop holding back a withheld key that is still down.
    static constexpr std::chrono::milliseconds withheldKeyWait{1000};

    explicit XTestKeySynthesizer(std::shared_ptr<PostedKeyJournal> journal);
    ~XTestKeySynthesizer() override;

    bool beginInput() override;
    void endInput() override;
    bool postKeyPair(std::uint16_t keyCode, std::uint64_t flags) override;
    bool postText(std::string_view text) override;

private:
    bool ensureConnection();
    // Records the event in the journal, with the modifier state it will meet, and posts it.
    void post(xkb_keycode_t keycode, bool press);
    // Reads which keys are modifiers, which of them are down and the locked modifiers, so that the
    // state each posted event meets can be followed through the modifier keys posted after it.
    void snapshotModifiers();
    std::uint16_t expectedState() const;
    bool finishRequests();
    void waitForWithheldKey();
    std::vector<xkb_keycode_t> heldModifierKeys();
    static xkb_keysym_t keysymFor(char32_t codePoint);
    bool needsSpare(xkb_keysym_t keysym);
    void typeKeysym(xkb_keysym_t keysym);
    void endInputLocked();

    std::shared_ptr<PostedKeyJournal> journal_;
    std::mutex mutex_;
    std::unique_ptr<XcbConnection> display_;
    // Alive between beginInput() and endInput().
    std::unique_ptr<TypingKeymap> typing_;
    // The keymap key pairs of the open input run are looked up in, read once per run.
    std::unique_ptr<XkbKeyboard> pairKeyboard_;
    std::vector<xkb_keycode_t> releasedModifiers_;
    // The core modifier bits of each key code, the modifier keys down, and the modifier bits that do
    // not come from keys held (locks), as of the last snapshot and the keys posted since.
    std::array<std::uint8_t, 256> modifierBits_{};
    std::set<xkb_keycode_t> modifierKeysDown_;
    std::uint16_t lockedBits_ = 0;
};

} // namespace korvane::x11
