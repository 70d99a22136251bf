#pragma once

#include "base/json.h"
#include "config/popupposition.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class JsonDecodeStatus;

// The deepest a project scan may go: deeper settings are read as this, since no project nests
// its files further and a huge value would only turn a scan into a walk of the whole disk.
inline constexpr std::int64_t kMaxScanDepth = 32;
// The range a configured font size and branch age are read within; past it the value is clamped
// with a warning, so that no later size or date computation meets an absurd number.
inline constexpr double kMinFontSize = 1;
inline constexpr double kMaxFontSize = 200;
inline constexpr std::int64_t kMaxBranchAgeDays = 36500;

// Search, scan and appearance settings of the global configuration. The appearance strings are kept
// as written; their recognised values are decided where the theme is built.
struct SettingsConfig {
    bool caseSensitive = false;
    std::int64_t scanDepth = 5;
    std::vector<std::string> ignorePatterns{"node_modules", ".git", "dist", "build"};
    std::int64_t maxBranchAgeDays = 90;
    std::optional<std::string> fileInsertionMode;
    std::optional<PopupPosition> popupPosition;
    std::optional<double> fontSize;
    std::optional<std::string> fontColor;
    std::optional<double> rowPadding;
    std::optional<double> rowHeight;
    std::optional<std::string> badgePalette;
    std::optional<double> popupWidth;
    std::optional<double> detailWidth;
    std::optional<std::string> material;
    std::optional<std::string> appearance;

    static const SettingsConfig& defaults();

    static SettingsConfig decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    bool operator==(const SettingsConfig&) const = default;
};

} // namespace korvane
