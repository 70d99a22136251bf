#include "platform/linux/linuxaccessibilitytrust.h"

#include "platform/linux/xcbconnection.h"

#include <chrono>
#include <cstdlib>
#include <dbus/dbus.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace korvane {
namespace {

constexpr int busTimeoutMs = 1000;

// Where the session bus listens: the address the session exports, else the per-user bus socket.
std::optional<std::string> sessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        address != nullptr && *address != '\0') {
        return std::string(address);
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
        std::string path = std::string(runtime) + "/bus";
        std::error_code error;
        if (std::filesystem::is_socket(path, error)) {
            return "unix:path=" + path;
        }
    }
    return std::nullopt;
}

struct ConnectionCloser {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};

struct PendingUnref {
    void operator()(DBusPendingCall* pending) const { dbus_pending_call_unref(pending); }
};

using Message = std::unique_ptr<DBusMessage, MessageUnref>;

// Sends `call` and returns its successful reply, waiting at most `timeoutMs` in all. The blocking
// send of libdbus waits for the bus's authentication without any limit, so the connection is
// driven here, a slice at a time.
Message callWithin(DBusConnection* bus, DBusMessage* call, int timeoutMs) {
    DBusPendingCall* raw = nullptr;
    if (!dbus_connection_send_with_reply(bus, call, &raw, timeoutMs) || raw == nullptr) {
        return nullptr;
    }
    std::unique_ptr<DBusPendingCall, PendingUnref> pending(raw);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!dbus_pending_call_get_completed(pending.get())) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !dbus_connection_read_write_dispatch(bus, static_cast<int>(left))) {
            dbus_pending_call_cancel(pending.get());
            return nullptr;
        }
    }
    Message reply(dbus_pending_call_steal_reply(pending.get()));
    if (!reply || dbus_message_get_type(reply.get()) != DBUS_MESSAGE_TYPE_METHOD_RETURN) {
        return nullptr;
    }
    return reply;
}

// Owns a DBusError and frees it.
struct ScopedError {
    ScopedError() { dbus_error_init(&error); }
    ~ScopedError() { dbus_error_free(&error); }
    DBusError error;
};

} // namespace

LinuxAccessibilityTrust::LinuxAccessibilityTrust() {
    dbus_threads_init_default();
}

bool LinuxAccessibilityTrust::isTrusted() const {
    return displayOffersInput() && accessibilityBusEnabled();
}

bool LinuxAccessibilityTrust::displayOffersInput() {
    auto display = x11::XcbConnection::open();
    return display && display->hasInputExtensions();
}

namespace {

using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;

// A private connection to the session bus, registered: the shared one would exit the process when
// the bus goes away. Opened by address and registered here, rather than by dbus_bus_get_private,
// whose registration waits for the bus without a limit. Null when the bus does not answer.
Connection openSessionBus() {
    const std::optional<std::string> address = sessionBusAddress();
    if (!address) {
        return nullptr;
    }
    ScopedError error;
    Connection bus(dbus_connection_open_private(address->c_str(), &error.error));
    if (!bus) {
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    Message hello(
        dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"));
    if (!hello || !callWithin(bus.get(), hello.get(), busTimeoutMs)) {
        return nullptr;
    }
    return bus;
}

// A call of org.freedesktop.DBus.Properties.`method` on the accessibility bus's status object,
// with the interface and property names already appended.
Message statusPropertyCall(const char* method) {
    Message call(dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                              "org.freedesktop.DBus.Properties", method));
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                           &property, DBUS_TYPE_INVALID)) {
        return nullptr;
    }
    return call;
}

} // namespace

bool LinuxAccessibilityTrust::accessibilityBusEnabled() {
    Connection bus = openSessionBus();
    Message call = bus ? statusPropertyCall("Get") : nullptr;
    if (!call) {
        return false;
    }
    Message reply = callWithin(bus.get(), call.get(), busTimeoutMs);
    if (!reply) {
        return false;
    }
    DBusMessageIter iter;
    DBusMessageIter variant;
    if (!dbus_message_iter_init(reply.get(), &iter) ||
        dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT) {
        return false;
    }
    dbus_message_iter_recurse(&iter, &variant);
    if (dbus_message_iter_get_arg_type(&variant) != DBUS_TYPE_BOOLEAN) {
        return false;
    }
    dbus_bool_t enabled = FALSE;
    dbus_message_iter_get_basic(&variant, &enabled);
    return enabled != FALSE;
}

// Switches the session's accessibility bus on. The X extensions cannot be asked for: a display
// without them stays untrusted.
void LinuxAccessibilityTrust::requestTrust() {
    Connection bus = openSessionBus();
    Message call = bus ? statusPropertyCall("Set") : nullptr;
    if (!call) {
        return;
    }
    DBusMessageIter iter;
    DBusMessageIter variant;
    dbus_message_iter_init_append(call.get(), &iter);
    const dbus_bool_t enabled = TRUE;
    if (!dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, DBUS_TYPE_BOOLEAN_AS_STRING, &variant)) {
        return;
    }
    if (!dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &enabled) ||
        !dbus_message_iter_close_container(&iter, &variant)) {
        dbus_message_iter_abandon_container(&iter, &variant);
        return;
    }
    callWithin(bus.get(), call.get(), busTimeoutMs);
}

} // namespace korvane
