#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

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

    static CustomProviderConfig decode(const nlohmann::ordered_json& value, const std::string& path,
                                       JsonDecodeStatus& status);
    nlohmann::ordered_json encode() const;

    bool operator==(const CustomProviderConfig&) const = default;
};

} // namespace korvane
