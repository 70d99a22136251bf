#include "config/configloader.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/jsonwriter.h"
#include "config/categorycatalog.h"
#include "config/scoperegistry.h"
#include "config/urireference.h"

#include <algorithm>
#include <set>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::string_view trimmed(std::string_view text, std::string_view characters) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

// Snippet keys and application fields are trimmed of spaces and tabs only, so a key that is a
// line break is not empty; provider fields are trimmed of line breaks too.
std::string_view trimmedBlanks(std::string_view text) {
    return trimmed(text, " \t");
}
std::string_view trimmedWhitespace(std::string_view text) {
    return trimmed(text, " \t\n\r\v\f");
}

bool matchesIdentifierPattern(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

// True when nothing is at `path`; an error other than "not found" counts as something being there,
// so that a file we cannot inspect is never overwritten.
bool isMissing(const fs::path& path) {
    std::error_code error;
    return !fs::exists(path, error) && !error;
}

bool isEmptyAfterTrim(const std::optional<std::string>& text) {
    return text && trimmedWhitespace(*text).empty();
}

std::optional<std::string> validateCustomProvider(const CustomProviderConfig& provider,
                                                  std::set<std::string>& ids, std::set<std::string>& scopes) {
    const std::string& id = provider.id;
    if (trimmedWhitespace(id).empty()) {
        return "Custom provider id cannot be empty";
    }
    if (trimmedWhitespace(provider.label).empty()) {
        return "Custom provider '" + id + "' label cannot be empty";
    }
    if (trimmedWhitespace(provider.command).empty()) {
        return "Custom provider '" + id + "' command cannot be empty";
    }
    if (trimmedWhitespace(id) != id || !matchesIdentifierPattern(id)) {
        return "Custom provider id '" + id + "' must match [a-z0-9-]+";
    }
    if (provider.scope) {
        const std::string& scope = *provider.scope;
        if (isEmptyAfterTrim(provider.scope)) {
            return "Custom provider '" + id + "' scope cannot be empty";
        }
        if (trimmedWhitespace(scope) != scope || !matchesIdentifierPattern(scope)) {
            return "Custom provider scope '" + scope + "' must match [a-z0-9-]+";
        }
    }
    const auto& categories = CategoryCatalog::builtInCategories();
    if (std::any_of(categories.begin(), categories.end(), [&](const auto& c) { return c.id == id; })) {
        return "Custom provider id '" + id + "' collides with built-in category";
    }
    if (!ids.insert(id).second) {
        return "Duplicate custom provider id '" + id + "'";
    }
    const std::string& scope = provider.scope ? *provider.scope : id;
    if (ScopeRegistry::builtInTokens().contains(scope)) {
        return "Custom provider scope '" + scope + "' collides with built-in scope";
    }
    if (!scopes.insert(scope).second) {
        return "Duplicate custom provider scope '" + scope + "'";
    }
    return std::nullopt;
}

// Leaves out invalid application blocks and warns about repeated application ids; both blocks of a
// repeat stay, and the later one wins where the list becomes a map.
void dropInvalidAppConfigs(AppConfig& config) {
    if (!config.appSnippets) {
        return;
    }
    std::vector<AppSnippetConfig> kept;
    for (auto& entry : *config.appSnippets) {
        if (auto message = ConfigLoader::validateAppConfig(entry)) {
            diagnostic("Config warning: " + *message + " - skipping this app config");
            continue;
        }
        const bool duplicate = std::any_of(kept.begin(), kept.end(), [&](const AppSnippetConfig& other) {
            return other.bundleId == entry.bundleId;
        });
        if (duplicate) {
            diagnostic("Config warning: Duplicate bundle ID '" + entry.bundleId + "' - last entry wins");
        }
        kept.push_back(std::move(entry));
    }
    config.appSnippets = kept.empty() ? std::nullopt : std::optional(std::move(kept));
}

} // namespace

std::string ConfigLoader::AddSnippetError::description() const {
    switch (kind_) {
    case Kind::invalidKey:
        return "Invalid key: '" + payload_ + "'";
    case Kind::duplicateKey:
        return "Key '" + payload_ + "' already exists in config";
    case Kind::saveFailed:
        return "Failed to save config: " + payload_;
    }
    return payload_;
}

ConfigLoader::ConfigLoader(fs::path directory)
    : configDirectory_(std::move(directory))
    , configFile_(configDirectory_ / kConfigFileName) {}

void ConfigLoader::ensureConfigFile() {
    if (isMissing(configDirectory_)) {
        std::error_code error;
        fs::create_directories(configDirectory_, error);
        if (error) {
            diagnostic("Failed to create config directory: " + error.message());
            return;
        }
    }
    if (isMissing(configFile_)) {
        writeConfig(AppConfig::defaultFile());
    }
}

Expected<std::optional<AppConfig>, std::string> ConfigLoader::readConfigFile(bool reportWarnings) const {
    if (isMissing(configFile_)) {
        return std::optional<AppConfig>();
    }
    const auto text = readTextFile(configFile_);
    if (!text) {
        return makeUnexpected(text.error());
    }
    auto config = AppConfig::parse(*text, reportWarnings);
    if (!config) {
        return makeUnexpected(config.error());
    }
    return std::optional<AppConfig>(std::move(*config));
}

AppConfig ConfigLoader::loadConfig() {
    auto read = readConfigFile(true);
    if (!read) {
        lastParseError_ = read.error();
        diagnostic("Config parse error: " + read.error() + ". Using defaults.");
        return AppConfig{};
    }
    if (!*read) {
        lastParseError_.reset();
        return AppConfig{};
    }
    AppConfig config = std::move(**read);
    for (const auto& snippet : config.snippets) {
        if (auto message = validateSnippet(snippet)) {
            diagnostic("Config warning: " + *message);
        }
    }
    dropInvalidAppConfigs(config);
    lastParseError_.reset();
    applyCustomProviderValidation(config.customProviders, lastParseError_, "Config error");
    return config;
}

std::optional<ProjectConfig> ConfigLoader::loadProjectConfig(const std::string& projectRoot) {
    const fs::path file = fs::path(projectRoot) / kProjectConfigFileName;
    const std::string path = file.string();
    if (isMissing(file)) {
        lastProjectParseError_.reset();
        return std::nullopt;
    }
    auto text = readTextFile(file);
    auto config = text ? ProjectConfig::parse(*text)
                       : Expected<ProjectConfig, std::string>(makeUnexpected(text.error()));
    if (!config) {
        lastProjectParseError_ = config.error();
        diagnostic("Project config parse error at " + path + ": " + config.error());
        return std::nullopt;
    }
    for (const auto& snippet : config->snippets.value_or(std::vector<ManualSnippet>{})) {
        if (auto message = validateSnippet(snippet)) {
            diagnostic("Project config warning: " + *message);
        }
    }
    lastProjectParseError_.reset();
    applyCustomProviderValidation(config->customProviders, lastProjectParseError_, "Project config error");
    diagnostic("Loaded project config from " + path);
    return std::move(*config);
}

void ConfigLoader::writeConfig(const AppConfig& config) {
    const auto text = prettyJson(config.encode());
    if (!text) {
        diagnostic("Failed to write config: " + text.error());
        return;
    }
    // Whoever calls this may hold defaults that stood in for a file that failed to load; that file
    // is the user's and stays until they mend or remove it.
    if (const auto existing = readConfigFile(false); !existing) {
        diagnostic("Failed to write config: the existing file could not be read and was left unchanged (" +
                   existing.error() + ")");
        return;
    }
    if (const auto written = writeFileAtomically(configFile_, *text); !written) {
        diagnostic("Failed to write config: " + written.error());
    }
}

Expected<void, ConfigLoader::AddSnippetError> ConfigLoader::addSnippet(const ManualSnippet& snippet) {
    if (auto message = validateSnippet(snippet)) {
        return makeUnexpected(AddSnippetError::invalidKey(*message));
    }
    // Start from the file as written, not from the validated configuration: validation drops
    // invalid application blocks and custom providers, and those must survive the rewrite.
    auto read = readConfigFile(true);
    if (!read) {
        return makeUnexpected(AddSnippetError::saveFailed(read.error()));
    }
    AppConfig config = read->value_or(AppConfig{});
    const bool duplicate = std::any_of(config.snippets.begin(), config.snippets.end(),
                                       [&](const ManualSnippet& other) { return other.key == snippet.key; });
    if (duplicate) {
        return makeUnexpected(AddSnippetError::duplicateKey(snippet.key));
    }
    config.snippets.push_back(snippet);
    const auto text = prettyJson(config.encode());
    if (!text) {
        return makeUnexpected(AddSnippetError::saveFailed(text.error()));
    }
    if (const auto written = writeFileAtomically(configFile_, *text); !written) {
        return makeUnexpected(AddSnippetError::saveFailed(written.error()));
    }
    diagnostic("Added snippet '" + snippet.key + "' to global config");
    return {};
}

std::optional<std::string> ConfigLoader::validateSnippet(const ManualSnippet& snippet) {
    const std::string& key = snippet.key;
    if (trimmedBlanks(key).empty()) {
        return "Snippet key cannot be empty or whitespace-only";
    }
    const bool hasExpansion = snippet.expand && !snippet.expand->empty();
    const bool hasLink = snippet.url && !snippet.url->empty();
    if (hasExpansion && hasLink) {
        return "Snippet '" + key + "' has both 'expand' and 'url' - only one allowed";
    }
    if (hasExpansion) {
        return std::nullopt;
    }
    if (hasLink) {
        if (isUriWithScheme(*snippet.url)) {
            return std::nullopt;
        }
        return "Snippet '" + key + "' has invalid URL (must have a scheme): " + *snippet.url;
    }
    return "Snippet '" + key + "' must have either 'expand' or 'url'";
}

std::optional<std::string> ConfigLoader::validateAppConfig(const AppSnippetConfig& config) {
    if (trimmedBlanks(config.bundleId).empty()) {
        return "App config has empty bundle ID";
    }
    if (trimmedBlanks(config.appName).empty()) {
        return "App config '" + config.bundleId + "' has empty app name";
    }
    for (const auto& snippet : config.snippets) {
        if (auto message = validateSnippet(snippet)) {
            return "App '" + config.bundleId + "': " + *message;
        }
    }
    return std::nullopt;
}

std::optional<std::string>
ConfigLoader::validateCustomProviders(const std::vector<CustomProviderConfig>& providers) {
    std::set<std::string> ids;
    std::set<std::string> scopes;
    for (const auto& provider : providers) {
        if (auto message = validateCustomProvider(provider, ids, scopes)) {
            return message;
        }
    }
    return std::nullopt;
}

void ConfigLoader::applyCustomProviderValidation(std::optional<std::vector<CustomProviderConfig>>& providers,
                                                 std::optional<std::string>& error,
                                                 std::string_view context) {
    if (!providers) {
        return;
    }
    if (auto message = validateCustomProviders(*providers)) {
        diagnostic(std::string(context) + ": " + *message);
        error = std::move(message);
        providers.reset();
    }
}

std::optional<std::string> ConfigLoader::sanitizedKey(std::string_view text) {
    icu::UnicodeString lower =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    lower.toLower(icu::Locale::getRoot());
    // Combining marks count with letters, so a decomposed accented letter keeps its accent.
    constexpr uint32_t kept = U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK;
    icu::UnicodeString result;
    for (int32_t i = 0; i < lower.length(); i = lower.moveIndex32(i, 1)) {
        const UChar32 c = lower.char32At(i);
        if (c == ' ') {
            result.append(static_cast<UChar>('-'));
        } else if (c == '-' || c == '_' || (U_GET_GC_MASK(c) & kept) != 0) {
            result.append(c);
        }
    }
    if (result.isEmpty()) {
        return std::nullopt;
    }
    std::string utf8;
    result.toUTF8String(utf8);
    return utf8;
}

std::map<std::string, std::vector<ManualSnippet>>
ConfigLoader::appSnippetsByBundleId(const AppConfig& config) {
    std::map<std::string, std::vector<ManualSnippet>> map;
    for (const auto& entry : config.appSnippets.value_or(std::vector<AppSnippetConfig>{})) {
        map.insert_or_assign(entry.bundleId, entry.snippets);
    }
    return map;
}

} // namespace korvane
