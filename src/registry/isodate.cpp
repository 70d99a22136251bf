#include "registry/isodate.h"

#include <algorithm>
#include <cstdint>
#include <fmt/format.h>

namespace korvane {
namespace {

using std::chrono::seconds;

// Reads exactly `width` decimal digits at `position`.
std::optional<int> digits(std::string_view text, std::size_t position, std::size_t width) {
    if (position + width > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = position; i < position + width; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool hasAt(std::string_view text, std::size_t position, char expected) {
    return position < text.size() && text[position] == expected;
}

// The offset east of UTC in seconds, from "Z" or "+hh:mm" / "-hh:mm" making up the rest of the text.
std::optional<std::int64_t> zoneOffset(std::string_view zone) {
    if (zone == "Z") {
        return 0;
    }
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') {
        return std::nullopt;
    }
    const auto hours = digits(zone, 1, 2);
    const auto minutes = digits(zone, 4, 2);
    if (!hours || !minutes || *hours > 23 || *minutes > 59) {
        return std::nullopt;
    }
    const std::int64_t offset = *hours * 3600 + *minutes * 60;
    return zone[0] == '-' ? -offset : offset;
}

} // namespace

std::string formatIsoDate(WallSeconds time) {
    // Outside the years 0000 to 9999 the text would not read back, and the whole history file with
    // it; a date that far out says nothing more than the last second of the range.
    static const WallSeconds first = *parseIsoDate("0000-01-01T00:00:00Z");
    static const WallSeconds last = *parseIsoDate("9999-12-31T23:59:59Z");
    time = std::clamp(time, first, last);
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const std::chrono::year_month_day date(day);
    const std::chrono::hh_mm_ss clock(time - day);
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", static_cast<int>(date.year()),
                       static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                       clock.hours().count(), clock.minutes().count(), clock.seconds().count());
}

std::string formatIsoDate(Clock::WallTime time) {
    return formatIsoDate(wholeSeconds(time));
}

std::optional<WallSeconds> parseIsoDate(std::string_view text) {
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || !hasAt(text, 4, '-') ||
        !hasAt(text, 7, '-') || !hasAt(text, 10, 'T') || !hasAt(text, 13, ':') || !hasAt(text, 16, ':')) {
        return std::nullopt;
    }
    const auto offset = zoneOffset(text.substr(19));
    if (!offset || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(*year) / *month / *day};
    if (!date.ok()) {
        return std::nullopt;
    }
    const std::int64_t daySeconds =
        std::chrono::sys_seconds(std::chrono::sys_days(date)).time_since_epoch().count();
    return WallSeconds(seconds(daySeconds + *hour * 3600 + *minute * 60 + *second - *offset));
}

} // namespace korvane
