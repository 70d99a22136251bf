#include "platform/linux/boundedreply.h"

#include <cstdlib>
#include <poll.h>
#include <xcb/xcbext.h>

namespace korvane::x11 {

void* awaitReply(xcb_connection_t* connection, unsigned int sequence, Deadline deadline) {
    if (xcb_flush(connection) <= 0) {
        return nullptr;
    }
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection, sequence, &reply, &error) != 0) {
            std::free(error);
            return reply;
        }
        auto remaining =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (remaining.count() <= 0) {
            xcb_discard_reply(connection, sequence);
            return nullptr;
        }
        pollfd descriptor{xcb_get_file_descriptor(connection), POLLIN, 0};
        // An interrupted or failed poll just goes round again; the deadline still holds.
        ::poll(&descriptor, 1, static_cast<int>(remaining.count()));
    }
}

} // namespace korvane::x11
