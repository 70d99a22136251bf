#include "platform/linux/linuxaccessibilitytrust.h"

#include "platform/linux/sessionbus.h"
#include "platform/linux/xcbconnection.h"

#include <dbus/dbus.h>
#include <optional>

namespace korvane {
namespace {

constexpr int busTimeoutMs = 1000;

using Message = SessionBus::Message;

} // namespace

bool LinuxAccessibilityTrust::isTrusted() const {
    return displayOffersInput() && accessibilityBusEnabled();
}

bool LinuxAccessibilityTrust::displayOffersInput() {
    auto display = x11::XcbConnection::open();
    return display && display->hasInputExtensions();
}

namespace {

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
    const std::optional<SessionBus> bus = SessionBus::open(busTimeoutMs);
    Message call = bus ? statusPropertyCall("Get") : nullptr;
    if (!call) {
        return false;
    }
    Message reply = bus->call(call.get());
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
    const std::optional<SessionBus> bus = SessionBus::open(busTimeoutMs);
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
    bus->call(call.get());
}

} // namespace korvane
