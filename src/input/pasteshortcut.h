#pragma once

#include "platform/keycodes.h"

#include <cstdint>

namespace korvane {

// The key combination that pastes in an application: a core virtual key code with modifier flags
// (see platform/keycodes.h). Plain value; the default is Command-V.
struct PasteShortcut {
    std::uint16_t virtualKey = 9;
    std::uint64_t flags = keyflag::command;

    bool operator==(const PasteShortcut&) const = default;
};

} // namespace korvane
