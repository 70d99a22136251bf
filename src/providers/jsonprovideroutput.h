#pragma once

#include "base/jsonreader.h"
#include "providers/jsonprovideritem.h"

#include <optional>
#include <vector>

namespace korvane {

// The object form of a custom provider's JSON output: {"items": [...]}.
struct JSONProviderOutput {
    std::optional<std::vector<JSONProviderItem>> items;

    static JSONProviderOutput decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    bool operator==(const JSONProviderOutput&) const = default;
};

} // namespace korvane
