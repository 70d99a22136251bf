#include "config/appconfig.h"

#include "base/jsonfields.h"
#include "config/categorycatalog.h"

namespace korvane {
namespace {

const auto kFields = std::tuple{
    defaultedField("trigger", &AppConfig::trigger),
    defaultedField("snippets", &AppConfig::snippets),
    optionalField("app_snippets", &AppConfig::appSnippets),
    defaultedField("settings", &AppConfig::settings),
    optionalField("custom_providers", &AppConfig::customProviders),
    optionalField("providers", &AppConfig::providers),
};

} // namespace

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
    return decodeJsonFields<AppConfig>(kFields, value, path, status);
}

Json AppConfig::encode() const {
    return encodeJsonFields(kFields, *this);
}

} // namespace korvane
