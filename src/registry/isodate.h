#pragma once

#include "base/clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The date-time form of the usage history: "2026-01-02T03:04:05Z", always UTC with whole seconds
// (a fraction of a second is dropped, not rounded). Any thread.
std::string formatIsoDate(Clock::WallTime time);

// Reads "YYYY-MM-DDTHH:MM:SS" followed by "Z" or a "+hh:mm" / "-hh:mm" offset. Fractional seconds,
// missing parts and impossible dates are refused. An instant outside what Clock::WallTime can hold
// (before 1677 or after 2262) is clamped to the nearest whole second it can. Any thread.
std::optional<Clock::WallTime> parseIsoDate(std::string_view text);

} // namespace korvane
