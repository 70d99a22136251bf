#pragma once

#include "platform/linux/xcbconnection.h"

#include <chrono>
#include <xcb/xcb.h>

namespace korvane::x11 {

using Deadline = std::chrono::steady_clock::time_point;

// Waits for the reply to request `sequence` until `deadline`, reading the connection without
// blocking past it. Null when the request failed, the connection broke or time ran out (the late
// reply is then discarded when it comes). The connection must not be read by another thread.
void* awaitReply(xcb_connection_t* connection, unsigned int sequence, Deadline deadline);

template <typename Reply, typename Cookie>
XcbReply<Reply> awaitReply(xcb_connection_t* connection, Cookie cookie, Deadline deadline) {
    return XcbReply<Reply>(static_cast<Reply*>(awaitReply(connection, cookie.sequence, deadline)));
}

} // namespace korvane::x11
