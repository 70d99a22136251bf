#include "platform/linux/recordedrepeats.h"

#include <cstring>
#include <xcb/xcbext.h>

namespace korvane::x11 {
namespace {

// Recorded events are wire-format core events of 32 bytes.
constexpr std::size_t eventSize = 32;
constexpr std::size_t stateOffset = 28;
constexpr std::uint8_t fromServer = 0;

} // namespace

std::unique_ptr<RecordedRepeats> RecordedRepeats::open(xcb_connection_t* control) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(control, &xcb_record_id);
    if (extension == nullptr || !extension->present) {
        return nullptr;
    }
    auto data = XcbConnection::open();
    if (!data) {
        return nullptr;
    }
    xcb_record_context_t context = xcb_generate_id(control);
    xcb_record_range_t range{};
    range.device_events.first = XCB_KEY_PRESS;
    range.device_events.last = XCB_KEY_RELEASE;
    xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
    xcb_void_cookie_t created =
        xcb_record_create_context_checked(control, context, 0, 1, 1, &clients, &range);
    if (XcbReply<xcb_generic_error_t>(xcb_request_check(control, created))) {
        return nullptr;
    }
    xcb_record_enable_context_cookie_t enabled = xcb_record_enable_context(data->get(), context);
    xcb_flush(data->get());
    return std::unique_ptr<RecordedRepeats>(new RecordedRepeats(std::move(data), enabled.sequence));
}

int RecordedRepeats::fileDescriptor() const {
    return xcb_get_file_descriptor(data_->get());
}

std::vector<RecordedRepeats::Repeat> RecordedRepeats::read() {
    std::vector<Repeat> repeats;
    void* raw = nullptr;
    xcb_generic_error_t* rawError = nullptr;
    // One enable request answers with a reply for every batch of records.
    while (xcb_poll_for_reply(data_->get(), sequence_, &raw, &rawError) != 0) {
        XcbReply<xcb_record_enable_context_reply_t> reply(
            static_cast<xcb_record_enable_context_reply_t*>(raw));
        XcbReply<xcb_generic_error_t> error(rawError);
        if (!reply) {
            break;
        }
        if (reply->category == fromServer) {
            scan(xcb_record_enable_context_data(reply.get()),
                 static_cast<std::size_t>(xcb_record_enable_context_data_length(reply.get())), repeats);
        }
        raw = nullptr;
        rawError = nullptr;
    }
    return repeats;
}

void RecordedRepeats::scan(const std::uint8_t* events, std::size_t length, std::vector<Repeat>& repeats) {
    for (std::size_t offset = 0; offset + eventSize <= length; offset += eventSize) {
        const std::uint8_t* event = events + offset;
        std::uint8_t type = event[0] & 0x7f;
        std::uint8_t keycode = event[1];
        if (type == XCB_KEY_PRESS) {
            if (down_.test(keycode)) {
                std::uint16_t state = 0;
                std::memcpy(&state, event + stateOffset, sizeof state);
                repeats.push_back(Repeat{keycode, state});
            }
            down_.set(keycode);
        } else if (type == XCB_KEY_RELEASE) {
            down_.reset(keycode);
        }
    }
}

} // namespace korvane::x11
