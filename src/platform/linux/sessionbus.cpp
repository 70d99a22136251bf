#include "platform/linux/sessionbus.h"

#include <chrono>
#include <cstdlib>
#include <dbus/dbus.h>
#include <filesystem>
#include <string>

namespace korvane {
namespace {

struct PendingUnref {
    void operator()(DBusPendingCall* pending) const { dbus_pending_call_unref(pending); }
};

// Owns a DBusError and frees it.
struct ScopedError {
    ScopedError() { dbus_error_init(&error); }
    ~ScopedError() { dbus_error_free(&error); }
    ScopedError(const ScopedError&) = delete;
    ScopedError& operator=(const ScopedError&) = delete;
    DBusError error;
};

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

} // namespace

void SessionBus::MessageUnref::operator()(DBusMessage* message) const {
    dbus_message_unref(message);
}

void SessionBus::ConnectionCloser::operator()(DBusConnection* connection) const {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
}

SessionBus::SessionBus(DBusConnection* connection, int timeoutMs)
    : connection_(connection)
    , timeoutMs_(timeoutMs) {}

// Opened by address and registered here, rather than by dbus_bus_get_private, whose registration
// waits for the bus without a limit; private, because the shared connection would exit the process
// when the bus goes away.
std::optional<SessionBus> SessionBus::open(int timeoutMs) {
    const std::optional<std::string> address = sessionBusAddress();
    if (!address) {
        return std::nullopt;
    }
    dbus_threads_init_default();
    ScopedError error;
    DBusConnection* connection = dbus_connection_open_private(address->c_str(), &error.error);
    if (connection == nullptr) {
        return std::nullopt;
    }
    SessionBus bus(connection, timeoutMs);
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    Message hello(
        dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS, DBUS_INTERFACE_DBUS, "Hello"));
    if (!hello || !bus.call(hello.get())) {
        return std::nullopt;
    }
    return bus;
}

SessionBus::Message SessionBus::call(DBusMessage* call) const {
    DBusConnection* bus = connection_.get();
    DBusPendingCall* raw = nullptr;
    if (!dbus_connection_send_with_reply(bus, call, &raw, timeoutMs_) || raw == nullptr) {
        return nullptr;
    }
    std::unique_ptr<DBusPendingCall, PendingUnref> pending(raw);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
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

} // namespace korvane
