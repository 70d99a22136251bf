#pragma once

#include "base/json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class JsonDecodeStatus;

// One user-defined shell-command source: its id, label, command and how it is run ("scan" with
// the project scan, or "live" as the user types a query scoped to it).
struct CustomProviderConfig {
    std::string id;
    std::string label;
    std::string command;
    std::optional<std::string> description;
    std::optional<std::string> scope;
    std::optional<std::string> badge;
    std::optional<std::string> emptyHint;
    std::int64_t ttl = 30;
    std::string mode = "scan";
    std::int64_t debounce = 150;

    static CustomProviderConfig decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    // Why the providers of one file cannot be used together: the first provider with a blank or
    // malformed id, label, command or scope, an id or scope that a built-in category or scope already
    // has, or one repeated within the list. No value when all of them can.
    static std::optional<std::string> validationError(const std::vector<CustomProviderConfig>& providers);

    // Replaces a negative `ttl` or `debounce`, which no provider can run with, by its default and
    // returns one warning for each value replaced.
    std::vector<std::string> clampToLimits();

    bool operator==(const CustomProviderConfig&) const = default;
};

} // namespace korvane
