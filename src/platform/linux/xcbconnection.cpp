#include "platform/linux/xcbconnection.h"

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

namespace korvane::x11 {
namespace {

// One connection attempt, shared by the caller and the thread that makes it.
struct Attempt {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    xcb_connection_t* connection = nullptr;
    int screen = 0;
};

// Displays with an abandoned attempt still waiting for the server. No further attempt starts on
// them until it ends, so a server that never answers costs one waiting thread, not one per try.
// Never destroyed: an abandoned attempt may end while the process exits.
std::mutex& hangingMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::set<std::string>& hangingDisplays() {
    static auto* displays = new std::set<std::string>;
    return *displays;
}

// Held around xcb_connect: it reads the authority file name through a static buffer of the X
// authority library, which two connections made at once would share.
std::mutex& connectMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// xcb_connect waits for the server's answer without a limit; it runs on a thread of its own, and
// past the deadline the caller stops waiting for it.
std::unique_ptr<xcb_connection_t, XcbDisconnect> connectWithin(const std::string& display, int& screen,
                                                               std::chrono::milliseconds deadline) {
    {
        std::lock_guard lock(hangingMutex());
        if (hangingDisplays().count(display) != 0) {
            return nullptr;
        }
    }
    auto attempt = std::make_shared<Attempt>();
    try {
        std::thread([attempt, display] {
            int attemptScreen = 0;
            xcb_connection_t* connection = nullptr;
            {
                std::lock_guard connecting(connectMutex());
                connection = xcb_connect(display.c_str(), &attemptScreen);
            }
            std::lock_guard lock(attempt->mutex);
            if (attempt->abandoned) {
                xcb_disconnect(connection);
                std::lock_guard hanging(hangingMutex());
                hangingDisplays().erase(display);
                return;
            }
            attempt->connection = connection;
            attempt->screen = attemptScreen;
            attempt->done = true;
            attempt->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    std::unique_lock lock(attempt->mutex);
    if (!attempt->finished.wait_for(lock, deadline, [&] { return attempt->done; })) {
        attempt->abandoned = true;
        std::lock_guard hanging(hangingMutex());
        hangingDisplays().insert(display);
        return nullptr;
    }
    screen = attempt->screen;
    return std::unique_ptr<xcb_connection_t, XcbDisconnect>(attempt->connection);
}

} // namespace

std::unique_ptr<XcbConnection> XcbConnection::open(std::chrono::milliseconds deadline) {
    const char* display = std::getenv("DISPLAY");
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    // Under Wayland an X connection only reaches XWayland clients, which is not a system-wide tap.
    if (display == nullptr || *display == '\0' || (sessionType && std::strcmp(sessionType, "wayland") == 0)) {
        return nullptr;
    }
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, XcbDisconnect> connection =
        connectWithin(display, screenNumber, deadline);
    if (!connection || xcb_connection_has_error(connection.get())) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return nullptr;
    }
    xcb_window_t root = screens.data->root;
    return std::unique_ptr<XcbConnection>(new XcbConnection(std::move(connection), root));
}

bool XcbConnection::hasInputExtensions() const {
    if (majorOpcode(&xcb_input_id) == 0 || majorOpcode(&xcb_test_id) == 0) {
        return false;
    }
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(get(), xcb_input_xi_query_version(get(), 2, 2), nullptr));
    if (!version) {
        return false;
    }
    return version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 2);
}

std::uint8_t XcbConnection::majorOpcode(xcb_extension_t* extension) const {
    const xcb_query_extension_reply_t* reply = xcb_get_extension_data(get(), extension);
    return reply && reply->present ? reply->major_opcode : 0;
}

std::uint8_t XcbConnection::firstEvent(xcb_extension_t* extension) const {
    const xcb_query_extension_reply_t* reply = xcb_get_extension_data(get(), extension);
    return reply && reply->present ? reply->first_event : 0;
}

} // namespace korvane::x11
