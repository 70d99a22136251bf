#pragma once

#include "base/expected.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// JSON whose object members keep the order they were added in; files we write keep field order.
using OrderedJson = nlohmann::ordered_json;

// Pretty-printed text of `value` (indent 2, trailing line feed, non-ASCII written as UTF-8). Fails
// when a string is not valid UTF-8, rather than writing a file that cannot be read back.
Expected<std::string, std::string> prettyJson(const OrderedJson& value);

// Adds `key` to `object` only when `value` has one.
template <class T>
void setIfPresent(OrderedJson& object, std::string_view key, const std::optional<T>& value) {
    if (value) {
        object[std::string(key)] = *value;
    }
}

} // namespace korvane

namespace korvane {

// A JSON array of `item.encode()` for each item, in order.
template <class Range> OrderedJson encodeEach(const Range& items) {
    OrderedJson array = OrderedJson::array();
    for (const auto& item : items) {
        array.push_back(item.encode());
    }
    return array;
}

} // namespace korvane
