#include "platform/linux/linuxaccessibilitytrust.h"

#include "platform/linux/xcbconnection.h"

#include <dbus/dbus.h>
#include <memory>

namespace korvane {
namespace {

constexpr int busTimeoutMs = 1000;

struct ConnectionCloser {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};

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

bool LinuxAccessibilityTrust::accessibilityBusEnabled() {
    ScopedError error;
    // A private connection: the shared one would exit the process when the bus goes away.
    std::unique_ptr<DBusConnection, ConnectionCloser> bus(
        dbus_bus_get_private(DBUS_BUS_SESSION, &error.error));
    if (!bus) {
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    std::unique_ptr<DBusMessage, MessageUnref> call(dbus_message_new_method_call(
        "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get"));
    if (!call) {
        return false;
    }
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    if (!dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                                  DBUS_TYPE_INVALID)) {
        return false;
    }
    std::unique_ptr<DBusMessage, MessageUnref> reply(
        dbus_connection_send_with_reply_and_block(bus.get(), call.get(), busTimeoutMs, &error.error));
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

} // namespace korvane
