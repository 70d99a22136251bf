#pragma once

#include "base/expected.h"
#include "base/json.h"
#include "config/customproviderconfig.h"
#include "config/manualsnippet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The settings a project file may override; a field without a value leaves the global one in force.
struct ProjectSettingsConfig {
    std::optional<bool> caseSensitive;
    std::optional<std::int64_t> scanDepth;
    std::optional<std::vector<std::string>> ignorePatterns;
    std::optional<std::int64_t> maxBranchAgeDays;

    static ProjectSettingsConfig decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    bool operator==(const ProjectSettingsConfig&) const = default;
};

// The optional ".korvane.json" of a project root; every member may be absent.
struct ProjectConfig {
    std::optional<std::vector<ManualSnippet>> snippets;
    std::optional<ProjectSettingsConfig> settings;
    std::optional<std::vector<CustomProviderConfig>> customProviders;
    std::optional<std::vector<std::string>> includePaths;
    std::optional<std::vector<std::string>> providers;

    // Decodes the text of a whole file; the error describes the first problem and where it is.
    static Expected<ProjectConfig, std::string> parse(std::string_view text);
    static ProjectConfig decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    bool operator==(const ProjectConfig&) const = default;
};

} // namespace korvane
