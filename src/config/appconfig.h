#pragma once

#include "base/expected.h"
#include "base/json.h"
#include "config/appsnippetconfig.h"
#include "config/customproviderconfig.h"
#include "config/manualsnippet.h"
#include "config/settingsconfig.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The global configuration file. A default-constructed value is the configuration used when the
// file is missing or unreadable: trigger ";;", default settings, nothing else.
struct AppConfig {
    std::string trigger = ";;";
    std::vector<ManualSnippet> snippets;
    std::optional<std::vector<AppSnippetConfig>> appSnippets;
    SettingsConfig settings;
    std::optional<std::vector<CustomProviderConfig>> customProviders;
    std::optional<std::vector<std::string>> providers;

    // What a fresh installation writes: three example snippets and the default category order.
    static AppConfig defaultFile();

    // Decodes the text of a whole file; the error describes the first problem and where it is.
    // `reportWarnings` false decodes silently, to check a file without logging its tolerated values.
    static Expected<AppConfig, std::string> parse(std::string_view text, bool reportWarnings = true);
    static AppConfig decode(const Json& value, const std::string& path, JsonDecodeStatus& status);
    Json encode() const;

    bool operator==(const AppConfig&) const = default;
};

} // namespace korvane
