#pragma once

#include "platform/keysynthesizer.h"

#include <chrono>
#include <memory>
#include <mutex>
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

    explicit XTestKeySynthesizer(std::shared_ptr<PostedKeyJournal> journal);
    ~XTestKeySynthesizer() override;

    bool beginInput() override;
    void endInput() override;
    bool postKeyPair(std::uint16_t keyCode, std::uint64_t flags) override;
    bool postText(std::string_view text) override;

private:
    bool ensureConnection();
    void post(xkb_keycode_t keycode, bool press);
    bool finishRequests();
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
    std::vector<xkb_keycode_t> releasedModifiers_;
};

} // namespace korvane::x11
