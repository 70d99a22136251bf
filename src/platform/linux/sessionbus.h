#pragma once

#include <memory>
#include <optional>

struct DBusConnection;
struct DBusMessage;

namespace korvane {

// A private, registered connection to the session bus whose every call waits at most a fixed time:
// the blocking calls of libdbus wait for the bus's authentication without any limit, so the
// connection is driven here. Used by the one thread that opened it.
class SessionBus {
public:
    struct MessageUnref {
        void operator()(DBusMessage* message) const;
    };
    using Message = std::unique_ptr<DBusMessage, MessageUnref>;

    // The bus the session exports, else the per-user bus socket; nullopt when neither is there or
    // the bus does not answer its registration within `timeoutMs`.
    static std::optional<SessionBus> open(int timeoutMs);

    // Sends `call` and returns its successful reply within the bus's time limit; null otherwise.
    Message call(DBusMessage* call) const;

private:
    struct ConnectionCloser {
        void operator()(DBusConnection* connection) const;
    };

    SessionBus(DBusConnection* connection, int timeoutMs);

    std::unique_ptr<DBusConnection, ConnectionCloser> connection_;
    int timeoutMs_;
};

} // namespace korvane
