#include "config/appsnippetconfig.h"

#include "base/jsonreader.h"
#include "base/jsonwriter.h"

namespace korvane {

std::optional<PopupPosition> decodeLenientPopupPosition(const Json* value, const std::string& warning,
                                                        const JsonDecodeStatus& status) {
    if (value == nullptr) {
        return std::nullopt;
    }
    std::optional<PopupPosition> position;
    if (value->is_string()) {
        position = popupPositionFromString(value->get_ref<const std::string&>());
    }
    if (!position) {
        status.warn(warning);
    }
    return position;
}

AppSnippetConfig AppSnippetConfig::decode(const Json& value, const std::string& path,
                                          JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    AppSnippetConfig config;
    config.bundleId = object.requiredString("bundleId");
    config.appName = object.requiredString("appName");
    config.snippets =
        object.optionalArray("snippets", ManualSnippet::decode).value_or(std::vector<ManualSnippet>{});
    if (!status.failed()) {
        config.popupPosition = decodeLenientPopupPosition(
            object.find("popupPosition"),
            "Invalid popup_position in app config for " + config.bundleId + ", using default", status);
    }
    return config;
}

OrderedJson AppSnippetConfig::encode() const {
    OrderedJson object = OrderedJson::object();
    object["bundle_id"] = bundleId;
    object["app_name"] = appName;
    object["snippets"] = OrderedJson::array();
    for (const auto& snippet : snippets) {
        object["snippets"].push_back(snippet.encode());
    }
    if (popupPosition) {
        object["popup_position"] = std::string(toString(*popupPosition));
    }
    return object;
}

} // namespace korvane
