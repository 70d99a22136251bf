#include "config/appsnippetconfig.h"

#include "base/jsonfields.h"
#include "base/unicode.h"

namespace korvane {
namespace {

const auto kFields = std::tuple{
    requiredField("bundle_id", &AppSnippetConfig::bundleId),
    requiredField("app_name", &AppSnippetConfig::appName),
    defaultedField("snippets", &AppSnippetConfig::snippets),
    JsonLenientEnumField<AppSnippetConfig, PopupPosition>{
        "popup_position", &AppSnippetConfig::popupPosition, popupPositionFromString, toString,
        [](const AppSnippetConfig& config) {
            return "Invalid popup_position in app config for " + config.bundleId + ", using default";
        }},
};

bool isBlank(const std::string& text) {
    return trimmedAscii(text, " \t").empty();
}

} // namespace

AppSnippetConfig AppSnippetConfig::decode(const Json& value, const std::string& path,
                                          JsonDecodeStatus& status) {
    return decodeJsonFields<AppSnippetConfig>(kFields, value, path, status);
}

Json AppSnippetConfig::encode() const {
    return encodeJsonFields(kFields, *this);
}

std::optional<std::string> AppSnippetConfig::validationError() const {
    if (isBlank(bundleId)) {
        return "App config has empty bundle ID";
    }
    if (isBlank(appName)) {
        return "App config '" + bundleId + "' has empty app name";
    }
    for (const auto& snippet : snippets) {
        if (auto message = snippet.validationError()) {
            return "App '" + bundleId + "': " + *message;
        }
    }
    return std::nullopt;
}

} // namespace korvane
