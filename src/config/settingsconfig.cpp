#include "config/settingsconfig.h"

#include "base/jsonreader.h"
#include "base/jsonwriter.h"
#include "config/appsnippetconfig.h"

namespace korvane {

const SettingsConfig& SettingsConfig::defaults() {
    static const SettingsConfig settings;
    return settings;
}

SettingsConfig SettingsConfig::decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    SettingsConfig settings;
    settings.caseSensitive = object.optionalBool("caseSensitive").value_or(settings.caseSensitive);
    settings.scanDepth = object.optionalInteger("scanDepth").value_or(settings.scanDepth);
    settings.ignorePatterns = object.optionalStringArray("ignorePatterns").value_or(settings.ignorePatterns);
    settings.maxBranchAgeDays =
        object.optionalInteger("maxBranchAgeDays").value_or(settings.maxBranchAgeDays);
    settings.fileInsertionMode = object.optionalString("fileInsertionMode");
    settings.popupPosition = decodeLenientPopupPosition(
        object.find("popupPosition"), "Invalid popup_position value, using default", status);
    settings.fontSize = object.optionalNumber("fontSize");
    settings.fontColor = object.optionalString("fontColor");
    settings.rowPadding = object.optionalNumber("rowPadding");
    settings.rowHeight = object.optionalNumber("rowHeight");
    settings.badgePalette = object.optionalString("badgePalette");
    settings.popupWidth = object.optionalNumber("popupWidth");
    settings.detailWidth = object.optionalNumber("detailWidth");
    settings.material = object.optionalString("material");
    settings.appearance = object.optionalString("appearance");
    return settings;
}

OrderedJson SettingsConfig::encode() const {
    OrderedJson object = OrderedJson::object();
    object["case_sensitive"] = caseSensitive;
    object["scan_depth"] = scanDepth;
    object["ignore_patterns"] = ignorePatterns;
    object["max_branch_age_days"] = maxBranchAgeDays;
    setIfPresent(object, "file_insertion_mode", fileInsertionMode);
    if (popupPosition) {
        object["popup_position"] = std::string(toString(*popupPosition));
    }
    setIfPresent(object, "font_size", fontSize);
    setIfPresent(object, "font_color", fontColor);
    setIfPresent(object, "row_padding", rowPadding);
    setIfPresent(object, "row_height", rowHeight);
    setIfPresent(object, "badge_palette", badgePalette);
    setIfPresent(object, "popup_width", popupWidth);
    setIfPresent(object, "detail_width", detailWidth);
    setIfPresent(object, "material", material);
    setIfPresent(object, "appearance", appearance);
    return object;
}

} // namespace korvane
