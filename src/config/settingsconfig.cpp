#include "config/settingsconfig.h"

#include "base/jsonfields.h"

namespace korvane {
namespace {

using S = SettingsConfig;

const auto kFields = std::tuple{
    defaultedField("case_sensitive", &S::caseSensitive),
    defaultedField("scan_depth", &S::scanDepth),
    defaultedField("ignore_patterns", &S::ignorePatterns),
    defaultedField("max_branch_age_days", &S::maxBranchAgeDays),
    optionalField("file_insertion_mode", &S::fileInsertionMode),
    JsonLenientEnumField<S, PopupPosition>{
        "popup_position", &S::popupPosition, popupPositionFromString, toString,
        [](const S&) { return std::string("Invalid popup_position value, using default"); }},
    optionalField("font_size", &S::fontSize),
    optionalField("font_color", &S::fontColor),
    optionalField("row_padding", &S::rowPadding),
    optionalField("row_height", &S::rowHeight),
    optionalField("badge_palette", &S::badgePalette),
    optionalField("popup_width", &S::popupWidth),
    optionalField("detail_width", &S::detailWidth),
    optionalField("material", &S::material),
    optionalField("appearance", &S::appearance),
};

} // namespace

const SettingsConfig& SettingsConfig::defaults() {
    static const SettingsConfig settings;
    return settings;
}

SettingsConfig SettingsConfig::decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    return decodeJsonFields<SettingsConfig>(kFields, value, path, status);
}

Json SettingsConfig::encode() const {
    return encodeJsonFields(kFields, *this);
}

} // namespace korvane
