#pragma once

#include "platform/linux/xcbconnection.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <vector>
#include <xcb/record.h>

namespace korvane::x11 {

// Reports the server's key auto-repeats, which raw input events leave out, through the RECORD
// extension: the recorded device events show a repeat as a second press of a key that is still down.
// The focused window receives every repeat, so without them the query would fall behind the
// document. Tap thread only.
class RecordedRepeats {
public:
    struct Repeat {
        std::uint8_t keycode = 0;
        // Core modifier state of the repeat, as the server's grab matching sees it.
        std::uint16_t state = 0;
    };

    // Null when the server has no RECORD extension or refuses the context. The context is created
    // on `control`, the records arrive on a connection of its own.
    static std::unique_ptr<RecordedRepeats> open(xcb_connection_t* control);

    int fileDescriptor() const;
    bool hasError() const { return data_->hasError(); }

    // The repeats that have arrived, in the order the server made them. Never blocks.
    std::vector<Repeat> read();

private:
    RecordedRepeats(std::unique_ptr<XcbConnection> data, unsigned int sequence)
        : data_(std::move(data))
        , sequence_(sequence) {}

    void scan(const std::uint8_t* events, std::size_t length, std::vector<Repeat>& repeats);

    std::unique_ptr<XcbConnection> data_;
    unsigned int sequence_;
    std::bitset<256> down_;
};

} // namespace korvane::x11
