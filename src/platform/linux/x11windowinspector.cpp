#include "platform/linux/x11windowinspector.h"

#include "base/unicode.h"

#include <array>
#include <cstring>
#include <string_view>
#include <xcb/res.h>

namespace korvane::x11 {
namespace {

constexpr std::uint32_t maxTitleBytes = 4096;
constexpr std::uint32_t maxNameBytes = 1024;
constexpr std::uint32_t maxClientListBytes = 4 * 4096;

std::string_view bytes(const xcb_get_property_reply_t& reply) {
    return {static_cast<const char*>(xcb_get_property_value(&reply)),
            static_cast<std::size_t>(xcb_get_property_value_length(&reply))};
}

std::string latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char c : latin1) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::optional<std::uint32_t> cardinal(const xcb_get_property_reply_t* reply) {
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply) < 4) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
    return value;
}

} // namespace

std::unique_ptr<X11WindowInspector> X11WindowInspector::open(Deadline deadline) {
    auto connection = XcbConnection::open();
    if (!connection) {
        return nullptr;
    }
    xcb_connection_t* c = connection->get();
    constexpr std::array<std::string_view, 8> names = {
        "_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST", "_NET_WM_PID",           "_NET_WM_NAME",
        "UTF8_STRING",        "COMPOUND_TEXT",    "_GTK_APPLICATION_ID", "_KDE_NET_WM_DESKTOP_FILE"};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        cookies[i] = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(names[i].size()), names[i].data());
    }
    std::array<xcb_atom_t, names.size()> atoms{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto reply = awaitReply<xcb_intern_atom_reply_t>(c, cookies[i], deadline);
        if (!reply) {
            return nullptr;
        }
        atoms[i] = reply->atom;
    }
    // The server has just answered, so asking for the extension (which xcb does synchronously)
    // does not wait on a stalled server.
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
    bool hasXRes = res && res->present;
    Atoms named{atoms[0], atoms[1], atoms[2], atoms[3], atoms[4], atoms[5], atoms[6], atoms[7]};
    return std::unique_ptr<X11WindowInspector>(new X11WindowInspector(std::move(connection), named, hasXRes));
}

X11WindowInspector::X11WindowInspector(std::unique_ptr<XcbConnection> connection, const Atoms& atoms,
                                       bool hasXRes)
    : connection_(std::move(connection))
    , atoms_(atoms)
    , hasXRes_(hasXRes) {}

X11WindowInspector::~X11WindowInspector() = default;

xcb_get_property_cookie_t X11WindowInspector::requestProperty(xcb_window_t window, xcb_atom_t property,
                                                              xcb_atom_t type, std::uint32_t maxBytes) {
    return xcb_get_property(connection_->get(), 0, window, property, type, 0, maxBytes / 4);
}

X11WindowInspector::PropertyReply X11WindowInspector::awaitProperty(xcb_get_property_cookie_t cookie,
                                                                    Deadline deadline) {
    auto reply = awaitReply<xcb_get_property_reply_t>(connection_->get(), cookie, deadline);
    if (reply && reply->type == XCB_NONE) {
        return nullptr;
    }
    return reply;
}

void X11WindowInspector::dropEvents() {
    // Nothing is selected, but every client gets some events (keymap changes); they are not read.
    while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_queued_event(connection_->get())}) {
    }
}

std::optional<xcb_window_t> X11WindowInspector::activeWindow(Deadline deadline) {
    dropEvents();
    auto reply = awaitProperty(
        requestProperty(connection_->root(), atoms_.activeWindow, XCB_ATOM_WINDOW, 4), deadline);
    auto window = cardinal(reply.get());
    if (!window || *window == XCB_NONE) {
        return std::nullopt;
    }
    return *window;
}

std::vector<xcb_window_t> X11WindowInspector::clientList(Deadline deadline) {
    dropEvents();
    std::vector<xcb_window_t> windows;
    auto reply = awaitProperty(
        requestProperty(connection_->root(), atoms_.clientList, XCB_ATOM_WINDOW, maxClientListBytes), deadline);
    if (reply && reply->format == 32) {
        auto count = static_cast<std::size_t>(xcb_get_property_value_length(reply.get())) / 4;
        // An empty list has no value bytes, and memcpy must not see the null pointer that comes with it.
        if (count > 0) {
            windows.resize(count);
            std::memcpy(windows.data(), xcb_get_property_value(reply.get()), count * 4);
        }
    }
    return windows;
}

std::optional<std::int32_t> X11WindowInspector::clientProcessID(xcb_window_t window, Deadline deadline) {
    if (!hasXRes_) {
        return std::nullopt;
    }
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    auto reply = awaitReply<xcb_res_query_client_ids_reply_t>(
        connection_->get(), xcb_res_query_client_ids(connection_->get(), 1, &spec), deadline);
    if (!reply) {
        return std::nullopt;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1) {
            std::uint32_t pid = *xcb_res_client_id_value_value(it.data);
            if (pid > 0 && pid <= INT32_MAX) {
                return static_cast<std::int32_t>(pid);
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> X11WindowInspector::text(const PropertyReply& reply) const {
    if (!reply || reply->format != 8) {
        return std::nullopt;
    }
    std::string_view value = bytes(*reply);
    // Some clients include the terminating zero.
    if (!value.empty() && value.back() == '\0') {
        value.remove_suffix(1);
    }
    if (reply->type == XCB_ATOM_STRING) {
        return latin1ToUtf8(value);
    }
    if ((reply->type == atoms_.utf8String && isValidUtf8(value)) ||
        (reply->type == atoms_.compoundText && isAscii(value))) {
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<std::string> X11WindowInspector::title(xcb_window_t window, Deadline deadline) {
    auto netName = requestProperty(window, atoms_.wmName, atoms_.utf8String, maxTitleBytes);
    auto name = requestProperty(window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, maxTitleBytes);
    auto netTitle = text(awaitProperty(netName, deadline));
    auto plainTitle = text(awaitProperty(name, deadline));
    if (netTitle && !netTitle->empty()) {
        return netTitle;
    }
    return plainTitle ? plainTitle : netTitle;
}

std::vector<X11WindowInspector::WindowFacts> X11WindowInspector::facts(const std::vector<xcb_window_t>& windows,
                                                                     Deadline deadline) {
    struct Requests {
        xcb_get_property_cookie_t gtk, kde, wmClass, pid;
    };
    std::vector<Requests> requests;
    requests.reserve(windows.size());
    for (xcb_window_t window : windows) {
        requests.push_back({requestProperty(window, atoms_.gtkApplicationID, atoms_.utf8String, maxNameBytes),
                            requestProperty(window, atoms_.kdeDesktopFile, XCB_GET_PROPERTY_TYPE_ANY, maxNameBytes),
                            requestProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, maxNameBytes),
                            requestProperty(window, atoms_.wmPid, XCB_ATOM_CARDINAL, 4)});
    }
    std::vector<WindowFacts> facts(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        auto gtkReply = awaitReply<xcb_get_property_reply_t>(connection_->get(), requests[i].gtk, deadline);
        auto kdeReply = awaitProperty(requests[i].kde, deadline);
        auto classReply = awaitProperty(requests[i].wmClass, deadline);
        auto pidReply = awaitProperty(requests[i].pid, deadline);
        // A window that is gone answers with an error, a live one at least with "none".
        if (!gtkReply) {
            continue;
        }
        WindowIdentityHints hints;
        if (gtkReply->type != XCB_NONE) {
            hints.gtkApplicationID = text(gtkReply).value_or("");
        }
        hints.kdeDesktopFile = text(kdeReply).value_or("");
        if (classReply && classReply->format == 8) {
            std::string_view value = bytes(*classReply);
            auto zero = value.find('\0');
            hints.wmClassInstance = latin1ToUtf8(value.substr(0, zero));
            if (zero != std::string_view::npos) {
                std::string_view rest = value.substr(zero + 1);
                hints.wmClass = latin1ToUtf8(rest.substr(0, rest.find('\0')));
            }
        }
        facts[i].hints = std::move(hints);
        if (auto pid = cardinal(pidReply.get()); pid && *pid > 0 && *pid <= INT32_MAX) {
            facts[i].pid = static_cast<std::int32_t>(*pid);
        }
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (facts[i].hints && !facts[i].pid) {
            facts[i].pid = clientProcessID(windows[i], deadline);
        }
    }
    return facts;
}

} // namespace korvane::x11
