#include "config/projectconfig.h"

#include "base/jsonfields.h"

namespace korvane {
namespace {

const auto kSettingsFields = std::tuple{
    optionalField("case_sensitive", &ProjectSettingsConfig::caseSensitive),
    optionalField("scan_depth", &ProjectSettingsConfig::scanDepth),
    optionalField("ignore_patterns", &ProjectSettingsConfig::ignorePatterns),
    optionalField("max_branch_age_days", &ProjectSettingsConfig::maxBranchAgeDays),
};

const auto kFields = std::tuple{
    optionalField("snippets", &ProjectConfig::snippets),
    optionalField("settings", &ProjectConfig::settings),
    optionalField("custom_providers", &ProjectConfig::customProviders),
    optionalField("include_paths", &ProjectConfig::includePaths),
    optionalField("providers", &ProjectConfig::providers),
};

} // namespace

ProjectSettingsConfig ProjectSettingsConfig::decode(const Json& value, const std::string& path,
                                                    JsonDecodeStatus& status) {
    return decodeJsonFields<ProjectSettingsConfig>(kSettingsFields, value, path, status);
}

Json ProjectSettingsConfig::encode() const {
    return encodeJsonFields(kSettingsFields, *this);
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
    return decodeJsonFields<ProjectConfig>(kFields, value, path, status);
}

Json ProjectConfig::encode() const {
    return encodeJsonFields(kFields, *this);
}

} // namespace korvane
