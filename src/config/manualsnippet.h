#pragma once

#include <nlohmann/json_fwd.hpp>
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

    static ManualSnippet decode(const nlohmann::ordered_json& value, const std::string& path,
                                JsonDecodeStatus& status);
    nlohmann::ordered_json encode() const;

    bool operator==(const ManualSnippet&) const = default;
};

} // namespace korvane
