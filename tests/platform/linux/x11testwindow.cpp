#include "x11testwindow.h"

#include <chrono>
#include <poll.h>
// xkb.h names a field `explicit`, which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace korvane::test {

X11TestWindow::X11TestWindow(std::unique_ptr<x11::XcbConnection> display,
                             std::unique_ptr<x11::XkbKeyboard> keyboard, xcb_window_t window)
    : display_(std::move(display))
    , keyboard_(std::move(keyboard))
    , window_(window) {}

X11TestWindow::~X11TestWindow() {
    xcb_destroy_window(display_->get(), window_);
    xcb_flush(display_->get());
}

std::unique_ptr<X11TestWindow> X11TestWindow::open() {
    auto display = x11::XcbConnection::open();
    if (!display) {
        return nullptr;
    }
    auto keyboard = x11::XkbKeyboard::create(display->get(), false);
    if (!keyboard) {
        return nullptr;
    }
    xcb_connection_t* connection = display->get();
    xcb_window_t window = xcb_generate_id(connection);
    const std::uint32_t mask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                               XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, display->root(), 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    std::unique_ptr<X11TestWindow> result(new X11TestWindow(std::move(display), std::move(keyboard), window));
    // The window manager may move the focus while it maps the window, so ask until it stays here.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!result->focused_ && std::chrono::steady_clock::now() < deadline) {
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        xcb_flush(connection);
        result->waitUntil([&](const auto&) { return result->focused_; }, 0.2);
    }
    if (!result->focused_) {
        return nullptr;
    }
    result->clear();
    return result;
}

std::uint8_t X11TestWindow::keycode(xkb_keysym_t keysym) const {
    return static_cast<std::uint8_t>(keyboard_->keycodeForKeysym(keysym).value_or(0));
}

void X11TestWindow::read() {
    while (x11::XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(display_->get())}) {
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE: {
            const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
            events_.push_back({(event->response_type & 0x7f) == XCB_KEY_PRESS, key->detail});
            break;
        }
        case XCB_FOCUS_IN:
            focused_ = true;
            break;
        case XCB_FOCUS_OUT: {
            // Focus moves to a grabbing client and back while a key is withheld; only a real loss counts.
            const auto* focus = reinterpret_cast<const xcb_focus_out_event_t*>(event.get());
            if (focus->mode == XCB_NOTIFY_MODE_NORMAL) {
                focused_ = false;
            }
            break;
        }
        default:
            break;
        }
    }
}

bool X11TestWindow::waitUntil(const std::function<bool(const std::vector<KeyEvent>&)>& done, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
        read();
        if (done(events_)) {
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fd{xcb_get_file_descriptor(display_->get()), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 50)));
    }
}

std::vector<X11TestWindow::KeyEvent> X11TestWindow::events() {
    read();
    return events_;
}

void X11TestWindow::clear() {
    read();
    events_.clear();
}

int X11TestWindow::count(xkb_keysym_t keysym, bool press) {
    read();
    const std::uint8_t code = keycode(keysym);
    int n = 0;
    for (const KeyEvent& event : events_) {
        n += event.keycode == code && event.press == press ? 1 : 0;
    }
    return n;
}

std::optional<X11TestWindow::Repeat> X11TestWindow::setRepeat(Repeat repeat) {
    xcb_connection_t* connection = display_->get();
    x11::XcbReply<xcb_xkb_get_controls_reply_t> controls(xcb_xkb_get_controls_reply(
        connection, xcb_xkb_get_controls(connection, XCB_XKB_ID_USE_CORE_KBD), nullptr));
    if (!controls) {
        return std::nullopt;
    }
    const std::uint8_t perKeyRepeat[32] = {};
    // Only the repeat controls change; every other field is left alone by the change mask.
    xcb_void_cookie_t cookie =
        xcb_xkb_set_controls_checked(connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, XCB_XKB_BOOL_CTRL_REPEAT_KEYS, repeat.delayMs, repeat.intervalMs, 0,
                                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, perKeyRepeat);
    if (x11::XcbReply<xcb_generic_error_t>(xcb_request_check(connection, cookie))) {
        return std::nullopt;
    }
    return Repeat{controls->repeatDelay, controls->repeatInterval};
}

} // namespace korvane::test
