#pragma once

#include "platform/keysynthesizer.h"

#include <memory>
#include <mutex>
#include <xkbcommon/xkbcommon.h>

namespace korvane::x11 {

class PostedKeyJournal;
class XcbConnection;
class XkbKeyboard;

// Types keys through XTEST on a connection of its own, recording each event in the journal first
// so that the tap knows it for Korvane's own. Any thread; posts are serialised.
class XTestKeySynthesizer final : public KeySynthesizer {
public:
    explicit XTestKeySynthesizer(std::shared_ptr<PostedKeyJournal> journal);
    ~XTestKeySynthesizer() override;

    bool postKeyPair(std::uint16_t keyCode, std::uint64_t flags) override;

private:
    bool ensureConnection();
    // `state`: the core modifiers the server will have in effect when it processes the event.
    void post(xkb_keycode_t keycode, bool press, int state);

    std::shared_ptr<PostedKeyJournal> journal_;
    std::mutex mutex_;
    std::unique_ptr<XcbConnection> display_;
};

} // namespace korvane::x11
