#include "platform/linux/linuxplatformcapabilities.h"

#include <chrono>
#include <cstdlib>
#include <dbus/dbus.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace korvane {
namespace {

constexpr int portalTimeoutMs = 300;

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

// Sends `call` and returns its successful reply within `timeoutMs`, driving the private connection
// itself (the blocking calls of libdbus wait for authentication without a limit).
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
    const auto address = sessionBusAddress();
    if (!address) {
        return false;
    }
    dbus_threads_init_default();
    DBusError error;
    dbus_error_init(&error);
    std::unique_ptr<DBusConnection, ConnectionCloser> bus(
        dbus_connection_open_private(address->c_str(), &error));
    dbus_error_free(&error);
    if (!bus) {
        return false;
    }
    dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    Message hello(
        dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"));
    if (!hello || !callWithin(bus.get(), hello.get(), timeoutMs)) {
        return false;
    }
    for (const char* method : {"ReadOne", "Read"}) {
        Message call(dbus_message_new_method_call("org.freedesktop.portal.Desktop",
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
        Message reply = callWithin(bus.get(), call.get(), timeoutMs);
        DBusMessageIter iter;
        if (reply && dbus_message_iter_init(reply.get(), &iter)) {
            return unwrapUint(&iter) == 1u;
        }
    }
    return false;
}

} // namespace korvane
