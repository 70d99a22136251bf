#pragma once

#include "base/json.h"
#include "config/manualsnippet.h"
#include "config/popupposition.h"

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
    static AppSnippetConfig decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    // Why the block cannot be used (a blank application id or name, or the first unusable
    // snippet's reason), or no value when it can.
    std::optional<std::string> validationError() const;

    bool operator==(const AppSnippetConfig&) const = default;
};

} // namespace korvane
