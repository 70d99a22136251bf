#pragma once

#include "base/json.h"

#include <compare>
#include <optional>
#include <string>

namespace korvane {

class JsonDecodeStatus;

// One snippet as the user wrote it in a configuration file: it expands to text or opens a link.
// Identified by its key; invalid snippets are kept as read and skipped by their consumers.
struct ManualSnippet {
    std::string key;
    std::optional<std::string> expand;
    std::optional<std::string> url;
    std::optional<std::string> label;
    std::optional<std::string> description;

    static ManualSnippet decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    // Why the snippet cannot be used (a blank key, both or neither of expansion and link, a link
    // without a scheme), or no value when it can.
    std::optional<std::string> validationError() const;

    bool operator==(const ManualSnippet&) const = default;
    // Member by member, for sets of snippets.
    auto operator<=>(const ManualSnippet&) const = default;
};

} // namespace korvane
