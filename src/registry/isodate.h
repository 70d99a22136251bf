#pragma once

#include "base/clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The date-time form of the usage history: "2026-01-02T03:04:05Z", always UTC with whole seconds.
// Dates before the year 0000 or after 9999 are written as the first or last second of that range,
// so that what is written always reads back. Any thread.
std::string formatIsoDate(WallSeconds date);
// The same for a time with a fraction of a second, which is dropped, not rounded.
std::string formatIsoDate(Clock::WallTime time);

// Reads "YYYY-MM-DDTHH:MM:SS" followed by "Z" or a "+hh:mm" / "-hh:mm" offset. Fractional seconds,
// missing parts and impossible dates are refused. Every year from 0000 to 9999 is kept as written,
// also where a Clock::WallTime could not hold it. Any thread.
std::optional<WallSeconds> parseIsoDate(std::string_view text);

} // namespace korvane
