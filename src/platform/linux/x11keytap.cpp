#include "platform/linux/x11keytap.h"

#include "base/diagnostics.h"
#include "platform/linux/keygrabs.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/recordedrepeats.h"
#include "platform/linux/stallwatchdog.h"
#include "platform/linux/xcbconnection.h"
#include "platform/linux/xkbkeyboard.h"

#include <chrono>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <sys/eventfd.h>
#include <xcb/xtest.h>

namespace korvane::x11 {
namespace {

// Reconnection attempts start soon after a loss and thin out while the display stays away.
constexpr std::chrono::milliseconds firstReconnectDelay{250};
constexpr std::chrono::milliseconds longestReconnectDelay{8000};

bool isMouseButton(std::uint32_t button) {
    // 4 to 7 are the scroll wheel, not presses.
    return button == 1 || button == 2 || button == 3 || button >= 8;
}

} // namespace

X11KeyTap::X11KeyTap(std::shared_ptr<PostedKeyJournal> journal)
    : journal_(std::move(journal))
    , wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

X11KeyTap::~X11KeyTap() {
    stop();
}

std::shared_ptr<X11KeyTap> X11KeyTap::open(std::shared_ptr<PostedKeyJournal> journal) {
    std::shared_ptr<X11KeyTap> tap(new X11KeyTap(std::move(journal)));
    if (!tap->wakeFd_.valid() || !tap->connect()) {
        return nullptr;
    }
    return tap;
}

bool X11KeyTap::connect() {
    auto display = XcbConnection::open();
    if (!display || !display->hasInputExtensions()) {
        return false;
    }
    auto keyboard = XkbKeyboard::create(display->get());
    if (!keyboard) {
        return false;
    }
    inputOpcode_ = display->majorOpcode(&xcb_input_id);

    // Raw keys and buttons of every master device, and changes of the device list, which may add
    // an XTEST device (a new master brings its own).
    struct {
        xcb_input_event_mask_t rawHead;
        std::uint32_t rawMask;
        xcb_input_event_mask_t hierarchyHead;
        std::uint32_t hierarchyMask;
    } selection{};
    selection.rawHead = {XCB_INPUT_DEVICE_ALL_MASTER, 1};
    selection.rawMask = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
                        XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;
    selection.hierarchyHead = {XCB_INPUT_DEVICE_ALL, 1};
    selection.hierarchyMask = XCB_INPUT_XI_EVENT_MASK_HIERARCHY;
    xcb_void_cookie_t cookie =
        xcb_input_xi_select_events_checked(display->get(), display->root(), 2, &selection.rawHead);
    if (XcbReply<xcb_generic_error_t>(xcb_request_check(display->get(), cookie))) {
        return false;
    }

    grabs_ = std::make_unique<KeyGrabs>(display->get(), display->root());
    recorded_ = RecordedRepeats::open(display->get());
    configureRepeat(*keyboard);
    keyboard_ = std::move(keyboard);
    {
        std::lock_guard lock(connectionMutex_);
        display_ = std::move(display);
    }
    ownGrabbedPresses_.clear();
    withheldDown_.clear();
    endHold();
    findXtestDevices();
    {
        std::lock_guard lock(claimsMutex_);
        claimsDirty_ = true;
    }
    connected_ = true;
    return true;
}

void X11KeyTap::configureRepeat(const XkbKeyboard& keyboard) {
    // Emulation stands in only when the server's repeats cannot be recorded.
    repeat_.configure(!recorded_ && keyboard.repeatEnabled(), keyboard.repeatDelayMs(),
                      keyboard.repeatIntervalMs());
}

void X11KeyTap::disconnect() {
    grabCount_ = 0;
    withheldDown_.clear();
    heldKeys_.clear();
    endHold();
    recorded_.reset();
    grabs_.reset();
    keyboard_.reset();
    {
        std::lock_guard lock(connectionMutex_);
        display_.reset();
    }
    connected_ = false;
}

void X11KeyTap::findXtestDevices() {
    xtestDevices_.clear();
    xcb_connection_t* connection = display_->get();
    XcbReply<xcb_input_xi_query_device_reply_t> reply(xcb_input_xi_query_device_reply(
        connection, xcb_input_xi_query_device(connection, XCB_INPUT_DEVICE_ALL), nullptr));
    if (!reply) {
        return;
    }
    for (auto it = xcb_input_xi_query_device_infos_iterator(reply.get()); it.rem > 0;
         xcb_input_xi_device_info_next(&it)) {
        std::string_view name(xcb_input_xi_device_info_name(it.data), it.data->name_len);
        if (name.find("XTEST") != std::string_view::npos) {
            xtestDevices_.insert(it.data->deviceid);
        }
    }
}

void X11KeyTap::start(EventCallback callback) {
    std::lock_guard lock(threadMutex_);
    if (stopped_ || thread_.joinable()) {
        return;
    }
    callback_ = std::move(callback);
    watchdog_ = std::make_unique<StallWatchdog>(grabAnswerBound, [this] { releaseGrabsOfStalledTap(); });
    // The thread keeps the tap alive until its loop has released the grabs and the connection, also
    // when the last owner lets go of it from inside a callback.
    thread_ = std::thread([self = shared_from_this()] {
        pthread_setname_np(pthread_self(), "korvane-evtap");
        self->run();
    });
}

void X11KeyTap::run() {
    while (!stopped_) {
        if (!display_ || display_->hasError()) {
            handleLostConnection();
            continue;
        }
        applyClaims();
        reportRecordedRepeats();
        while (!stopped_) {
            XcbReply<xcb_generic_event_t> event(xcb_poll_for_event(display_->get()));
            if (!event) {
                break;
            }
            dispatch(event.get());
            applyClaims();
        }
        reportRepeats(repeat_.due(std::chrono::steady_clock::now()));
        if (stopped_ || display_->hasError()) {
            continue;
        }
        int timeoutMs = -1;
        if (auto deadline = repeat_.nextDeadline()) {
            auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            timeoutMs = static_cast<int>(std::max<std::int64_t>(wait.count(), 0));
        }
        xcb_flush(display_->get());
        waitForWork(timeoutMs);
    }
    if (display_ && !display_->hasError()) {
        if (holdingKeyboard_) {
            letKeyboardGo(XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
        }
        grabs_->releaseAll();
    }
    disconnect();
    callback_ = nullptr;
    watchdog_.reset();
}

void X11KeyTap::waitForWork(int timeoutMs) {
    pollfd fds[3] = {{wakeFd_.get(), POLLIN, 0}, {-1, POLLIN, 0}, {-1, POLLIN, 0}};
    nfds_t count = 1;
    if (display_ && !display_->hasError()) {
        fds[count++].fd = xcb_get_file_descriptor(display_->get());
        if (recorded_) {
            fds[count++].fd = recorded_->fileDescriptor();
        }
    }
    ::poll(fds, count, timeoutMs);
    drainWake();
}

void X11KeyTap::handleLostConnection() {
    if (display_) {
        disconnect();
    }
    // The server went away or closed us: said once, then the tap keeps trying to come back.
    if (!lossReported_) {
        lossReported_ = true;
        reconnectDelay_ = firstReconnectDelay;
        TapEvent event;
        event.type = TapEvent::Type::connectionLost;
        emit(event);
    }
    const auto retryAt = std::chrono::steady_clock::now() + reconnectDelay_;
    for (auto now = std::chrono::steady_clock::now(); !stopped_ && now < retryAt;
         now = std::chrono::steady_clock::now()) {
        waitForWork(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(retryAt - now).count()));
    }
    if (stopped_ || !enabled_) {
        return;
    }
    if (!connect()) {
        reconnectDelay_ = std::min(reconnectDelay_ * 2, longestReconnectDelay);
        return;
    }
    lossReported_ = false;
    TapEvent event;
    event.type = TapEvent::Type::connectionRestored;
    emit(event);
}

void X11KeyTap::stop() {
    stopped_ = true;
    wake();
    std::thread thread;
    {
        std::lock_guard lock(threadMutex_);
        thread = std::move(thread_);
    }
    if (!thread.joinable()) {
        return;
    }
    // From inside a callback the loop ends once the callback returns; it cannot wait for itself.
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
    } else {
        thread.join();
    }
}

void X11KeyTap::setEnabled(bool enabled) {
    enabled_ = enabled;
    wake();
}

bool X11KeyTap::isEnabled() const {
    return enabled_;
}

bool X11KeyTap::isConnected() const {
    return connected_;
}

void X11KeyTap::setClaimedKeys(KeyClaimSet claims) {
    {
        std::lock_guard lock(claimsMutex_);
        claims_ = std::move(claims);
        claimsDirty_ = true;
    }
    wake();
}

void X11KeyTap::wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wakeFd_.get(), &one, sizeof one);
}

void X11KeyTap::drainWake() {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t read = ::read(wakeFd_.get(), &value, sizeof value);
}

void X11KeyTap::applyClaims() {
    KeyClaimSet claims;
    {
        std::lock_guard lock(claimsMutex_);
        if (!claimsDirty_) {
            return;
        }
        claimsDirty_ = false;
        claims = claims_;
    }
    grabs_->apply(claims, withheldDown_, *keyboard_);
    grabbedKeymap_ = keyboard_->keymapGeneration();
    grabCount_ = grabs_->size();
}

void X11KeyTap::dispatch(const xcb_generic_event_t* event) {
    std::uint8_t type = event->response_type & 0x7f;
    if (type == 0) {
        return;
    }
    if (keyboard_->handleEvent(event)) {
        configureRepeat(*keyboard_);
        // A new keymap may put the claimed keys on other key codes.
        if (keyboard_->keymapGeneration() != grabbedKeymap_) {
            std::lock_guard lock(claimsMutex_);
            claimsDirty_ = true;
        }
        return;
    }
    if (type == XCB_KEY_PRESS) {
        onCoreKeyPress(reinterpret_cast<const xcb_key_press_event_t*>(event));
        return;
    }
    if (type == XCB_KEY_RELEASE) {
        onCoreKeyRelease(reinterpret_cast<const xcb_key_release_event_t*>(event));
        return;
    }
    if (type != XCB_GE_GENERIC) {
        return;
    }
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != inputOpcode_) {
        return;
    }
    switch (generic->event_type) {
    case XCB_INPUT_RAW_KEY_PRESS:
        onRawKeyPress(reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event));
        break;
    case XCB_INPUT_RAW_KEY_RELEASE:
        onRawKeyRelease(reinterpret_cast<const xcb_input_raw_key_release_event_t*>(event));
        break;
    case XCB_INPUT_RAW_BUTTON_PRESS:
        onRawButtonPress(reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event));
        break;
    case XCB_INPUT_HIERARCHY:
        findXtestDevices();
        break;
    default:
        break;
    }
}

void X11KeyTap::reportRecordedRepeats() {
    if (!recorded_) {
        return;
    }
    if (recorded_->hasError()) {
        recorded_.reset();
        configureRepeat(*keyboard_);
        return;
    }
    for (const RecordedRepeats::Repeat& repeat : recorded_->read()) {
        // Repeats of a grabbed key activate the grab again and arrive as core events.
        if (!grabs_->covers(repeat.keycode, repeat.state)) {
            reportKey(repeat.keycode, false, nullptr);
        }
    }
}

void X11KeyTap::onRawKeyPress(const xcb_input_raw_key_press_event_t* event) {
    // Repeats recorded before this press belong before it.
    reportRecordedRepeats();
    auto keycode = static_cast<std::uint8_t>(event->detail);
    bool own = isOwn(event->sourceid, keycode, true);
    // A key the server processed under one of our grabs comes again as a core event, the one that
    // can be withheld; its raw copy is not reported. A key it processed before the grab was in
    // place has reached the focused window, whatever is grabbed by now.
    if (grabs_->coveredAt(keycode, keyboard_->coreModifiers(), event->full_sequence)) {
        if (own) {
            ownGrabbedPresses_.insert(keycode);
        }
        repeat_.cancel(keycode);
        return;
    }
    if (own) {
        return;
    }
    reportRepeats(repeat_.press(keycode, keyboard_->keyRepeats(keycode), event->time,
                                std::chrono::steady_clock::now()));
    reportKey(keycode, false, nullptr);
}

void X11KeyTap::onRawKeyRelease(const xcb_input_raw_key_release_event_t* event) {
    reportRecordedRepeats();
    auto keycode = static_cast<std::uint8_t>(event->detail);
    if (isOwn(event->sourceid, keycode, false)) {
        return;
    }
    // Without the hold the release went to the window; with it, it comes again as a core event.
    if (!holdingKeyboard_ && withheldDown_.erase(keycode) != 0) {
        markClaimsDirty();
    }
    reportRepeats(repeat_.release(keycode, event->time));
}

bool X11KeyTap::isOwn(std::uint16_t sourceDevice, std::uint8_t keycode, bool press) {
    return xtestDevices_.count(sourceDevice) != 0 && journal_ &&
           journal_->consume({keycode, press, static_cast<std::uint16_t>(keyboard_->coreModifiers())});
}

void X11KeyTap::onRawButtonPress(const xcb_input_raw_button_press_event_t* event) {
    if (isMouseButton(event->detail)) {
        TapEvent tapEvent;
        tapEvent.type = TapEvent::Type::mouseDown;
        emit(tapEvent);
    }
}

void X11KeyTap::onCoreKeyPress(const xcb_key_press_event_t* event) {
    const std::uint8_t keycode = event->detail;
    repeat_.cancel(keycode);
    if (withheldDown_.count(keycode) != 0) {
        // A repeat of a key whose press was withheld: the handler hears it (a held arrow keeps
        // moving the selection), the window never does, whatever the session now makes of it.
        if (ownGrabbedPresses_.erase(keycode) == 0) {
            reportKey(keycode, true, nullptr);
            if (answerWasLate_) {
                return; // the watchdog has let go of the keyboard meanwhile
            }
        }
        holdKeyboard(event->time);
        return;
    }
    if (holdingKeyboard_ && !grabs_->covers(keycode, event->state)) {
        // Not a key to withhold, only caught by the hold. The server sends no raw copy of a key it
        // hands over through the hold: the handler hears it when it is replayed or posted again.
        holdOrPassOn(keycode, true, event->time);
        return;
    }
    bool dropped = false;
    if (ownGrabbedPresses_.erase(keycode) == 0) {
        reportKey(keycode, true, &dropped);
    }
    if (!dropped) {
        letKeyboardGo(XCB_ALLOW_REPLAY_KEYBOARD, event->time);
        return;
    }
    withheldDown_.insert(keycode);
    // Kept grabbed while it is down, so that its repeats are caught after the session has ended.
    markClaimsDirty();
    holdKeyboard(event->time);
}

void X11KeyTap::onCoreKeyRelease(const xcb_key_release_event_t* event) {
    if (!holdingKeyboard_) {
        return;
    }
    if (withheldDown_.erase(event->detail) != 0) {
        markClaimsDirty();
        if (withheldDown_.empty()) {
            letKeyboardGo(XCB_ALLOW_ASYNC_KEYBOARD, event->time);
        } else {
            holdKeyboard(event->time);
        }
        return;
    }
    // Any other key's release, the text injector's included, belongs to the focused window.
    holdOrPassOn(event->detail, false, event->time);
}

void X11KeyTap::holdOrPassOn(std::uint8_t keycode, bool press, xcb_timestamp_t time) {
    // Passing a key on ends the hold, and the withheld key's release would follow it to the window;
    // so the user's keys wait. Korvane's own (a paste after the injector stopped waiting) cannot;
    // its raw copy comes only after the hold, so the journal is asked without taking the entry.
    const bool own = journal_ && journal_->isNext({keycode, press, static_cast<std::uint16_t>(
                                                                       keyboard_->coreModifiers())});
    if (!own && heldKeys_.defer({keycode, press})) {
        holdKeyboard(time);
        return;
    }
    letKeyboardGo(XCB_ALLOW_REPLAY_KEYBOARD, time);
}

void X11KeyTap::postHeldKeys() {
    if (heldKeys_.empty() || !display_) {
        return;
    }
    xcb_connection_t* connection = display_->get();
    for (const HeldKeyQueue::Key& key : heldKeys_.takeForPosting()) {
        xcb_test_fake_input(connection, key.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, key.keycode,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
    xcb_flush(connection);
}

void X11KeyTap::holdKeyboard(xcb_timestamp_t time) {
    // The grab stays active and the server hands over one key event at a time, each of which is
    // held back until it is answered: the release of the withheld key is dropped, anything else
    // is replayed to the focused window.
    holdingKeyboard_ = true;
    if (journal_) {
        journal_->setHoldingWithheldKey(true);
    }
    xcb_allow_events(display_->get(), XCB_ALLOW_SYNC_KEYBOARD, time);
    xcb_flush(display_->get());
}

void X11KeyTap::letKeyboardGo(std::uint8_t mode, xcb_timestamp_t time) {
    xcb_connection_t* connection = display_->get();
    xcb_allow_events(connection, mode, time);
    // A replay ends the grab by itself; otherwise it is ended here, so that no key, the text
    // injector's included, keeps coming to the tap instead of the focused window.
    if (mode != XCB_ALLOW_REPLAY_KEYBOARD) {
        xcb_ungrab_keyboard(connection, time);
    }
    xcb_flush(connection);
    endHold();
    // After the hold's end has been asked for, so that the server hands them to the window.
    postHeldKeys();
}

void X11KeyTap::endHold() {
    holdingKeyboard_ = false;
    if (journal_) {
        journal_->setHoldingWithheldKey(false);
    }
}

void X11KeyTap::markClaimsDirty() {
    std::lock_guard lock(claimsMutex_);
    claimsDirty_ = true;
}

void X11KeyTap::reportRepeats(const KeyRepeatEmulator::Owed& owed) {
    for (int i = 0; i < owed.count; ++i) {
        reportKey(owed.keycode, false, nullptr);
    }
}

void X11KeyTap::reportKey(std::uint8_t keycode, bool withholdable, bool* dropped) {
    TranslatedKey key = keyboard_->translate(keycode);
    TapEvent event;
    event.type = key.isModifier ? TapEvent::Type::flagsChanged : TapEvent::Type::keyDown;
    event.keyCode = key.keyCode;
    event.characters = std::move(key.characters);
    event.flags = key.flags;
    event.withholdable = withholdable;
    bool drop = emit(event) && withholdable && !key.isModifier;
    if (dropped) {
        *dropped = drop;
    }
}

bool X11KeyTap::emit(const TapEvent& event) {
    if (!enabled_ || !callback_) {
        return false;
    }
    watchdog_->enter();
    bool drop = callback_(event);
    watchdog_->leave();
    // Before the next event is judged by the grabs it met. An answer that comes after the watchdog
    // replayed the key is too late to withhold it: recording the key as held would keep it grabbed
    // and swallow its next press.
    answerWasLate_ = noticeStallRelease();
    return drop && !answerWasLate_;
}

void X11KeyTap::releaseGrabsOfStalledTap() {
    std::lock_guard lock(connectionMutex_);
    if (!display_ || display_->hasError() || grabCount_ == 0) {
        return;
    }
    // Said before the release, so that whoever sees the keyboard come back can also read why.
    diagnostic("Key tap did not answer within 2 s; released the keyboard grabs");
    xcb_connection_t* connection = display_->get();
    // Replays a grabbed key that waits for the tap, ends an active grab, and removes every passive
    // grab, so that no key of the desktop waits for a tap that does not answer.
    xcb_allow_events(connection, XCB_ALLOW_REPLAY_KEYBOARD, XCB_CURRENT_TIME);
    xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
    xcb_void_cookie_t ungrab = xcb_ungrab_key(connection, XCB_GRAB_ANY, display_->root(), XCB_MOD_MASK_ANY);
    xcb_flush(connection);
    stallReleaseSequence_ = ungrab.sequence;
    stallReleased_ = true;
}

bool X11KeyTap::noticeStallRelease() {
    if (!stallReleased_.exchange(false)) {
        return false;
    }
    grabs_->endAll(stallReleaseSequence_);
    grabCount_ = 0;
    endHold();
    postHeldKeys();
    // The claims still hold; they are grabbed again now that the tap answers.
    std::lock_guard lock(claimsMutex_);
    claimsDirty_ = true;
    return true;
}

} // namespace korvane::x11
