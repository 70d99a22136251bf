#include "config/projectconfig.h"

#include "base/jsonreader.h"
#include "base/jsonwriter.h"

namespace korvane {

ProjectSettingsConfig ProjectSettingsConfig::decode(const Json& value, const std::string& path,
                                                    JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    ProjectSettingsConfig settings;
    settings.caseSensitive = object.optionalBool("caseSensitive");
    settings.scanDepth = object.optionalInteger("scanDepth");
    settings.ignorePatterns = object.optionalStringArray("ignorePatterns");
    settings.maxBranchAgeDays = object.optionalInteger("maxBranchAgeDays");
    return settings;
}

OrderedJson ProjectSettingsConfig::encode() const {
    OrderedJson object = OrderedJson::object();
    setIfPresent(object, "case_sensitive", caseSensitive);
    setIfPresent(object, "scan_depth", scanDepth);
    setIfPresent(object, "ignore_patterns", ignorePatterns);
    setIfPresent(object, "max_branch_age_days", maxBranchAgeDays);
    return object;
}

Expected<ProjectConfig, std::string> ProjectConfig::parse(std::string_view text) {
    auto json = parseJson(text);
    if (!json) {
        return makeUnexpected(json.error());
    }
    JsonDecodeStatus status;
    ProjectConfig config = decode(*json, "", status);
    if (status.failed()) {
        return makeUnexpected(status.error());
    }
    return config;
}

ProjectConfig ProjectConfig::decode(const Json& value, const std::string& path, JsonDecodeStatus& status) {
    const JsonObjectReader object(value, path, status);
    ProjectConfig config;
    config.snippets = object.optionalArray("snippets", ManualSnippet::decode);
    if (const Json* settings = object.find("settings")) {
        config.settings = ProjectSettingsConfig::decode(*settings, object.pathOf("settings"), status);
    }
    config.customProviders = object.optionalArray("customProviders", CustomProviderConfig::decode);
    config.includePaths = object.optionalStringArray("includePaths");
    config.providers = object.optionalStringArray("providers");
    return config;
}

OrderedJson ProjectConfig::encode() const {
    OrderedJson object = OrderedJson::object();
    if (snippets) {
        object["snippets"] = encodeEach(*snippets);
    }
    if (settings) {
        object["settings"] = settings->encode();
    }
    if (customProviders) {
        object["custom_providers"] = encodeEach(*customProviders);
    }
    setIfPresent(object, "include_paths", includePaths);
    setIfPresent(object, "providers", providers);
    return object;
}

} // namespace korvane
