#include "config/appconfig.h"

#include "base/jsonreader.h"
#include "base/jsonwriter.h"
#include "config/categorycatalog.h"

namespace korvane {

AppConfig AppConfig::defaultFile() {
    AppConfig config;
    config.snippets = {
        ManualSnippet{.key = "sig", .expand = "Best regards,\nKorvane User"},
        ManualSnippet{.key = "email", .expand = "you@example.com"},
        ManualSnippet{.key = "signoff", .expand = "{{sig}}\n{{email}}\n{{date}}"},
    };
    config.providers = defaultActiveCategories();
    return config;
}

Expected<AppConfig, std::string> AppConfig::parse(std::string_view text, bool reportWarnings) {
    auto json = parseJson(text);
    if (!json) {
        return makeUnexpected(json.error());
    }
    JsonDecodeStatus status(reportWarnings);
    AppConfig config = decode(*json, "", status);
    if (status.failed()) {
        return makeUnexpected(status.error());
    }
    return config;
}

AppConfig AppConfig::decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    AppConfig config;
    config.trigger = object.optionalString("trigger").value_or(config.trigger);
    config.snippets =
        object.optionalArray("snippets", ManualSnippet::decode).value_or(std::vector<ManualSnippet>{});
    config.appSnippets = object.optionalArray("appSnippets", AppSnippetConfig::decode);
    if (const Json* settings = object.find("settings")) {
        config.settings = SettingsConfig::decode(*settings, object.pathOf("settings"), status);
    }
    config.customProviders = object.optionalArray("customProviders", CustomProviderConfig::decode);
    config.providers = object.optionalStringArray("providers");
    return config;
}

OrderedJson AppConfig::encode() const {
    OrderedJson object = OrderedJson::object();
    object["trigger"] = trigger;
    object["snippets"] = encodeEach(snippets);
    if (appSnippets) {
        object["app_snippets"] = encodeEach(*appSnippets);
    }
    object["settings"] = settings.encode();
    if (customProviders) {
        object["custom_providers"] = encodeEach(*customProviders);
    }
    setIfPresent(object, "providers", providers);
    return object;
}

} // namespace korvane
