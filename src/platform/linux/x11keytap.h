#pragma once

#include "platform/keytap.h"
#include "platform/linux/heldkeyqueue.h"
#include "platform/linux/keyrepeatemulator.h"
#include "platform/linux/uniquefd.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace korvane::x11 {

class KeyGrabs;
class PostedKeyJournal;
class RecordedRepeats;
class StallWatchdog;
class XcbConnection;
class XkbKeyboard;

// The key tap of an X11 session. It watches XInput2 raw key and button events on the root window
// of its own connection, which report every key whichever window has the focus, and withholds
// claimed keys through synchronous passive grabs: a grabbed key the handler drops is consumed, and
// so are its repeats and its release; one it passes is replayed to the focused window. Its own
// thread ("korvane-evtap") owns the connection and reconnects when it is lost; a watchdog thread
// releases the grabs when a callback stalls. The other members only set flags and wake it.
class X11KeyTap final : public KeyTap, public std::enable_shared_from_this<X11KeyTap> {
public:
    // Null when the display, XInput 2.2, XTEST or XKB is missing, or the display does not answer.
    static std::shared_ptr<X11KeyTap> open(std::shared_ptr<PostedKeyJournal> journal);
    ~X11KeyTap() override;

    void start(EventCallback callback) override;
    void stop() override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;
    bool isConnected() const override;
    void setClaimedKeys(KeyClaimSet claims) override;

    // How many (key, modifiers) grabs are installed now.
    std::size_t grabCount() const { return grabCount_.load(); }

    // How long a callback may take while keys are grabbed. The server holds back every key of the
    // keyboard while a grabbed key waits for its answer, so past this the grabs are released.
    static constexpr std::chrono::milliseconds grabAnswerBound{2000};

private:
    explicit X11KeyTap(std::shared_ptr<PostedKeyJournal> journal);
    void run();
    bool connect();
    void disconnect();
    void wake();
    void drainWake();
    void waitForWork(int timeoutMs);
    void applyClaims();
    void handleLostConnection();
    // On the watchdog's thread: lets go of the keyboard while the tap thread is stuck in a callback.
    void releaseGrabsOfStalledTap();
    // Takes note of a release the watchdog made; whether there was one.
    bool noticeStallRelease();

    void dispatch(const xcb_generic_event_t* event);
    void onRawKeyPress(const xcb_input_raw_key_press_event_t* event);
    void onRawKeyRelease(const xcb_input_raw_key_release_event_t* event);
    // Whether a raw key event is the next one Korvane posted.
    bool isOwn(std::uint16_t sourceDevice, std::uint8_t keycode, bool press);
    void onRawButtonPress(const xcb_input_raw_button_press_event_t* event);
    // Key events that come to the tap through its grabs.
    void onCoreKeyPress(const xcb_key_press_event_t* event);
    void onCoreKeyRelease(const xcb_key_release_event_t* event);
    void holdKeyboard(xcb_timestamp_t time);
    // A key that is not withheld met the hold: the user's waits for the hold to end, Korvane's own
    // passes at once (which ends the hold).
    void holdOrPassOn(std::uint8_t keycode, bool press, xcb_timestamp_t time);
    // Posts the keys that waited for the hold, once it has ended.
    void postHeldKeys();
    void letKeyboardGo(std::uint8_t mode, xcb_timestamp_t time);
    void endHold();
    void markClaimsDirty();
    void reportRepeats(const KeyRepeatEmulator::Owed& owed);
    void reportRecordedRepeats();
    void configureRepeat(const XkbKeyboard& keyboard);
    void reportKey(std::uint8_t keycode, bool withholdable, bool* dropped);
    bool emit(const TapEvent& event);
    void findXtestDevices();

    std::shared_ptr<PostedKeyJournal> journal_;
    UniqueFd wakeFd_;
    std::atomic<bool> stopped_{false};
    std::atomic<bool> enabled_{true};
    std::atomic<bool> connected_{false};
    std::atomic<std::size_t> grabCount_{0};

    std::mutex threadMutex_;
    std::thread thread_;
    std::unique_ptr<StallWatchdog> watchdog_;
    // Held by the watchdog while it uses the connection, and by the tap thread while it replaces it.
    std::mutex connectionMutex_;
    std::atomic<bool> stallReleased_{false};
    std::atomic<std::uint32_t> stallReleaseSequence_{0};

    std::mutex claimsMutex_;
    KeyClaimSet claims_;
    bool claimsDirty_ = false;

    // Tap thread only, once run() has started.
    EventCallback callback_;
    std::unique_ptr<XcbConnection> display_;
    std::unique_ptr<XkbKeyboard> keyboard_;
    std::unique_ptr<KeyGrabs> grabs_;
    // The server's own repeats; without RECORD they are emulated from the repeat controls.
    std::unique_ptr<RecordedRepeats> recorded_;
    std::uint8_t inputOpcode_ = 0;
    std::set<std::uint16_t> xtestDevices_;
    std::set<std::uint8_t> ownGrabbedPresses_;
    // Keys whose press was withheld and that are still down; their repeats and release are withheld too.
    std::set<std::uint8_t> withheldDown_;
    // Whether the handler's last answer came after the watchdog had released the grabs.
    bool answerWasLate_ = false;
    // Whether the keyboard stays grabbed until a withheld key is released.
    bool holdingKeyboard_ = false;
    HeldKeyQueue heldKeys_;
    std::uint64_t grabbedKeymap_ = 0;
    KeyRepeatEmulator repeat_;
    bool lossReported_ = false;
    std::chrono::milliseconds reconnectDelay_{0};
};

} // namespace korvane::x11
