#pragma once

#include "config/manualsnippet.h"
#include "config/popupposition.h"

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The snippets and popup placement of one application, identified by its application id.
struct AppSnippetConfig {
    std::string bundleId;
    std::string appName;
    std::vector<ManualSnippet> snippets;
    std::optional<PopupPosition> popupPosition;

    // A "popup_position" that names no position is logged and read as none instead of failing.
    static AppSnippetConfig decode(const nlohmann::ordered_json& value, const std::string& path,
                                   JsonDecodeStatus& status);
    nlohmann::ordered_json encode() const;

    bool operator==(const AppSnippetConfig&) const = default;
};

// Reads a "popup_position" member leniently: null or absent is no position, and any value that is
// not one of the position strings reports `warning` and is no position.
std::optional<PopupPosition> decodeLenientPopupPosition(const nlohmann::ordered_json* value,
                                                        const std::string& warning,
                                                        const JsonDecodeStatus& status);

} // namespace korvane
