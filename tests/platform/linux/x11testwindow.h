#pragma once

#include "platform/linux/xcbconnection.h"
#include "platform/linux/xkbkeyboard.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

namespace korvane::test {

// A window of the test's own that holds the keyboard focus and records the key events reaching it:
// what the focused application sees. Test thread only.
class X11TestWindow {
public:
    struct KeyEvent {
        bool press;
        std::uint8_t keycode;
        bool operator==(const KeyEvent&) const = default;
    };

    // Null when the window cannot be shown or does not get the focus.
    static std::unique_ptr<X11TestWindow> open();
    ~X11TestWindow();

    // The X key code that types `keysym` on the server's keymap.
    std::uint8_t keycode(xkb_keysym_t keysym) const;

    // Reads what has arrived until `done` holds for the events so far, or `seconds` pass.
    bool waitUntil(const std::function<bool(const std::vector<KeyEvent>&)>& done, double seconds = 5.0);
    std::vector<KeyEvent> events();
    void clear();

    // How many presses or releases of `keysym` arrived so far.
    int count(xkb_keysym_t keysym, bool press);

    struct Repeat {
        std::uint16_t delayMs;
        std::uint16_t intervalMs;
    };
    // Sets the keyboard's auto-repeat and returns the previous setting, or nothing on failure.
    std::optional<Repeat> setRepeat(Repeat repeat);

private:
    X11TestWindow(std::unique_ptr<x11::XcbConnection> display, std::unique_ptr<x11::XkbKeyboard> keyboard,
                  xcb_window_t window);
    void read();

    std::unique_ptr<x11::XcbConnection> display_;
    std::unique_ptr<x11::XkbKeyboard> keyboard_;
    xcb_window_t window_;
    bool focused_ = false;
    std::vector<KeyEvent> events_;
};

inline void PrintTo(const X11TestWindow::KeyEvent& event, std::ostream* out) {
    *out << (event.press ? "press " : "release ") << int(event.keycode);
}

} // namespace korvane::test
