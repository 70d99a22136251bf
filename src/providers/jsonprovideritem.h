#pragma once

#include "base/jsonreader.h"

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// One item of a custom provider's JSON output. Every field is optional; unknown keys are ignored
// and null counts as absent, but a value of another type fails the whole output.
struct JSONProviderItem {
    std::optional<std::string> label;
    std::optional<std::string> key;
    std::optional<std::string> expansion;
    std::optional<std::string> description;
    std::optional<std::string> type;
    std::optional<std::int64_t> priority;
    std::optional<std::string> url;

    static JSONProviderItem decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    bool operator==(const JSONProviderItem&) const = default;
};

} // namespace korvane
