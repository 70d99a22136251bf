#include "platform/linux/linuxplatformcapabilities.h"

#include "platform/linux/sessionbus.h"

#include <cstdint>
#include <dbus/dbus.h>
#include <optional>

namespace korvane {
namespace {

constexpr int portalTimeoutMs = 300;

// The portal wraps the value in one variant (ReadOne) or two (the older Read).
std::optional<std::uint32_t> unwrapUint(DBusMessageIter* iter) {
    for (int depth = 0; depth < 3; ++depth) {
        const int type = dbus_message_iter_get_arg_type(iter);
        if (type == DBUS_TYPE_UINT32) {
            dbus_uint32_t value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return value;
        }
        if (type != DBUS_TYPE_VARIANT) {
            return std::nullopt;
        }
        DBusMessageIter inner;
        dbus_message_iter_recurse(iter, &inner);
        *iter = inner;
    }
    return std::nullopt;
}

} // namespace

bool LinuxPlatformCapabilities::supportsGlass() const {
    return false;
}

bool LinuxPlatformCapabilities::reduceTransparency() const {
    std::call_once(readContrast_,
                   [this] { reduceTransparency_ = portalRequestsHighContrast(portalTimeoutMs); });
    return reduceTransparency_;
}

bool LinuxPlatformCapabilities::portalRequestsHighContrast(int timeoutMs) {
    const std::optional<SessionBus> bus = SessionBus::open(timeoutMs);
    if (!bus) {
        return false;
    }
    for (const char* method : {"ReadOne", "Read"}) {
        SessionBus::Message call(dbus_message_new_method_call("org.freedesktop.portal.Desktop",
                                                              "/org/freedesktop/portal/desktop",
                                                              "org.freedesktop.portal.Settings", method));
        const char* space = "org.freedesktop.appearance";
        const char* key = "contrast";
        if (!call || !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &space, DBUS_TYPE_STRING, &key,
                                               DBUS_TYPE_INVALID)) {
            return false;
        }
        // A desktop without the portal service gets no activation attempt that could hang.
        dbus_message_set_auto_start(call.get(), FALSE);
        SessionBus::Message reply = bus->call(call.get());
        DBusMessageIter iter;
        if (reply && dbus_message_iter_init(reply.get(), &iter)) {
            return unwrapUint(&iter) == 1u;
        }
    }
    return false;
}

} // namespace korvane
