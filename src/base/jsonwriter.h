#pragma once

#include "base/expected.h"
#include "base/json.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// Pretty-printed text of `value` (indent 2, trailing line feed, non-ASCII written as UTF-8). Fails
// when a string is not valid UTF-8, rather than writing a file that cannot be read back.
Expected<std::string, std::string> prettyJson(const Json& value);

// Adds `key` to `object` only when `value` has one.
template <class T> void setIfPresent(Json& object, std::string_view key, const std::optional<T>& value) {
    if (value) {
        object[std::string(key)] = *value;
    }
}

} // namespace korvane
