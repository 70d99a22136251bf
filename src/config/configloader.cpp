#include "config/configloader.h"

#include "base/diagnostics.h"
#include "base/fileio.h"
#include "base/filelock.h"
#include "base/jsonwriter.h"

#include <algorithm>
#include <fmt/format.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;

// True when nothing is at `path`; an error other than "not found" counts as something being there,
// so that a file we cannot inspect is never overwritten.
bool isMissing(const fs::path& path) {
    std::error_code error;
    return !fs::exists(path, error) && !error;
}

// The text `config` is saved as. Refused when it is larger than the reader accepts: saving it
// would leave a file that every later load replaces by defaults and every later save refuses.
Expected<std::string, std::string> configFileText(const AppConfig& config, std::size_t maxFileSize) {
    auto text = prettyJson(config.encode());
    if (text && text->size() > maxFileSize) {
        return makeUnexpected(
            fmt::format("{} would grow to {} bytes, more than the {} bytes that can be read "
                        "back; nothing was written",
                        kConfigFileName, text->size(), maxFileSize));
    }
    return text;
}

// Logs `warning` after `context`, as in "Config warning: " + warning.
void warn(std::string_view context, const std::string& warning) {
    diagnostic(std::string(context) + ": " + warning);
}

// Replaces provider times that nothing can run with (negative ones) by their defaults.
void clampProviderTimes(std::optional<std::vector<CustomProviderConfig>>& providers,
                        std::string_view context) {
    if (!providers) {
        return;
    }
    for (auto& provider : *providers) {
        for (const auto& warning : provider.clampToLimits()) {
            warn(context, warning);
        }
    }
}

void clampScanDepth(std::int64_t& scanDepth, std::string_view context) {
    if (scanDepth > kMaxScanDepth) {
        warn(context, fmt::format("scan_depth {} is larger than {} - using {}", scanDepth, kMaxScanDepth,
                                  kMaxScanDepth));
        scanDepth = kMaxScanDepth;
    }
}

void clampFontSize(std::optional<double>& fontSize, std::string_view context) {
    if (!fontSize || (*fontSize >= kMinFontSize && *fontSize <= kMaxFontSize)) {
        return;
    }
    const double clamped = *fontSize < kMinFontSize ? kMinFontSize : kMaxFontSize;
    warn(context, fmt::format("font_size {} is outside {} to {} - using {}", *fontSize, kMinFontSize,
                              kMaxFontSize, clamped));
    fontSize = clamped;
}

void clampBranchAge(std::int64_t& days, std::string_view context) {
    if (days >= 0 && days <= kMaxBranchAgeDays) {
        return;
    }
    const std::int64_t clamped = days < 0 ? 0 : kMaxBranchAgeDays;
    warn(context, fmt::format("max_branch_age_days {} is outside 0 to {} - using {}", days,
                              kMaxBranchAgeDays, clamped));
    days = clamped;
}

// Drops the include paths that lead out of the project root. A project file comes from a
// repository, and its include paths must not make Korvane list files elsewhere on the disk.
void dropIncludePathsOutside(const std::string& projectRoot, std::optional<std::vector<std::string>>& paths,
                             std::string_view context) {
    if (!paths) {
        return;
    }
    fs::path root = fs::path(projectRoot).lexically_normal();
    if (!root.has_filename() && root.has_relative_path()) {
        root = root.parent_path();
    }
    std::vector<std::string> kept;
    for (auto& path : *paths) {
        const fs::path relative = (root / path).lexically_normal().lexically_relative(root);
        if (relative.empty() || *relative.begin() == "..") {
            warn(context, "include_paths entry '" + path + "' is outside the project root - skipping");
            continue;
        }
        kept.push_back(std::move(path));
    }
    paths = std::move(kept);
}

// Leaves out invalid application blocks and warns about repeated application ids; both blocks of a
// repeat stay, and the later one wins where the list becomes a map.
void dropInvalidAppConfigs(AppConfig& config) {
    if (!config.appSnippets) {
        return;
    }
    std::vector<AppSnippetConfig> kept;
    for (auto& entry : *config.appSnippets) {
        if (auto message = entry.validationError()) {
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

ConfigLoader::ConfigLoader(fs::path directory, std::size_t maxFileSize)
    : configDirectory_(std::move(directory))
    , configFile_(configDirectory_ / kConfigFileName)
    , maxFileSize_(maxFileSize) {}

void ConfigLoader::ensureConfigFile() {
    if (const auto made = makePrivateDirectories(configDirectory_); !made) {
        diagnostic("Failed to create config directory: " + made.error());
        return;
    }
    // Under the lock, so that of two programs starting at once only one writes the default file and
    // neither replaces a file the other has already changed.
    auto lock = lockConfigFile();
    if (!lock) {
        diagnostic("Failed to write config: " + lock.error());
        return;
    }
    if (isMissing(configFile_)) {
        if (const auto written = replaceConfigFile(AppConfig::defaultFile()); !written) {
            diagnostic("Failed to write config: " + written.error());
        }
    }
}

Expected<std::optional<AppConfig>, ConfigLoadError> ConfigLoader::readConfigFile(bool reportWarnings) const {
    if (isMissing(configFile_)) {
        return std::optional<AppConfig>();
    }
    const auto text = readTextFile(configFile_, maxFileSize_);
    if (!text) {
        return makeUnexpected(ConfigLoadError{ConfigLoadError::Kind::file, text.error()});
    }
    auto config = AppConfig::parse(*text, reportWarnings);
    if (!config) {
        return makeUnexpected(ConfigLoadError{ConfigLoadError::Kind::parse, config.error()});
    }
    return std::optional<AppConfig>(std::move(*config));
}

AppConfig ConfigLoader::loadConfig() {
    auto read = readConfigFile(true);
    if (!read) {
        lastParseError_ = read.error().message;
        diagnostic("Config parse error: " + read.error().message + ". Using defaults.");
        return AppConfig{};
    }
    if (!*read) {
        lastParseError_.reset();
        return AppConfig{};
    }
    AppConfig config = std::move(**read);
    for (const auto& snippet : config.snippets) {
        if (auto message = snippet.validationError()) {
            diagnostic("Config warning: " + *message);
        }
    }
    dropInvalidAppConfigs(config);
    lastParseError_.reset();
    applyCustomProviderValidation(config.customProviders, lastParseError_, "Config error");
    clampProviderTimes(config.customProviders, "Config warning");
    clampScanDepth(config.settings.scanDepth, "Config warning");
    clampFontSize(config.settings.fontSize, "Config warning");
    clampBranchAge(config.settings.maxBranchAgeDays, "Config warning");
    return config;
}

std::optional<ProjectConfig> ConfigLoader::loadProjectConfig(const std::string& projectRoot) {
    const fs::path file = fs::path(projectRoot) / kProjectConfigFileName;
    const std::string path = file.string();
    if (isMissing(file)) {
        lastProjectParseError_.reset();
        return std::nullopt;
    }
    // Read on the main thread at every project switch, from a file anyone can put in a repository.
    auto text = readTextFileInside(projectRoot, file, kMaxProjectConfigSize);
    if (!text && regularFileSize(file).value_or(0) > kMaxProjectConfigSize) {
        text = makeUnexpected(std::string("the file is larger than 1 MiB and is not read"));
    }
    auto config = text ? ProjectConfig::parse(*text)
                       : Expected<ProjectConfig, std::string>(makeUnexpected(text.error()));
    if (!config) {
        lastProjectParseError_ = config.error();
        diagnostic("Project config parse error at " + path + ": " + config.error());
        return std::nullopt;
    }
    for (const auto& snippet : config->snippets.value_or(std::vector<ManualSnippet>{})) {
        if (auto message = snippet.validationError()) {
            diagnostic("Project config warning: " + *message);
        }
    }
    lastProjectParseError_.reset();
    applyCustomProviderValidation(config->customProviders, lastProjectParseError_, "Project config error");
    clampProviderTimes(config->customProviders, "Project config warning");
    if (config->settings && config->settings->scanDepth) {
        clampScanDepth(*config->settings->scanDepth, "Project config warning");
    }
    if (config->settings && config->settings->maxBranchAgeDays) {
        clampBranchAge(*config->settings->maxBranchAgeDays, "Project config warning");
    }
    dropIncludePathsOutside(projectRoot, config->includePaths, "Project config warning");
    diagnostic("Loaded project config from " + path);
    return std::move(*config);
}

void ConfigLoader::writeConfig(const AppConfig& config) {
    if (const auto written = saveConfig(config); !written) {
        diagnostic("Failed to write config: " + written.error());
    }
}

Expected<AppConfig, ConfigLoadError> ConfigLoader::loadForEditing() {
    auto read = readConfigFile(false);
    if (!read) {
        return makeUnexpected(read.error());
    }
    return read->value_or(AppConfig{});
}

Expected<AppConfig, ConfigUpdateError> ConfigLoader::updateConfig(const ConfigEdit& edit) {
    return updateFile(false, edit);
}

Expected<AppConfig, ConfigUpdateError> ConfigLoader::updateFile(bool reportWarnings,
                                                                const ConfigEdit& edit) const {
    auto lock = lockConfigFile();
    if (!lock) {
        return makeUnexpected(ConfigUpdateError{std::nullopt, lock.error()});
    }
    auto read = readConfigFile(reportWarnings);
    if (!read) {
        return makeUnexpected(ConfigUpdateError{read.error(), read.error().message});
    }
    AppConfig onDisk = read->value_or(AppConfig{});
    auto changed = edit(onDisk);
    if (!changed) {
        return onDisk;
    }
    if (auto written = writeConfigFile(*changed); !written) {
        return makeUnexpected(ConfigUpdateError{std::nullopt, written.error()});
    }
    return std::move(*changed);
}

Expected<void, std::string> ConfigLoader::saveConfig(const AppConfig& config) {
    auto lock = lockConfigFile();
    if (!lock) {
        return makeUnexpected(lock.error());
    }
    return replaceConfigFile(config);
}

Expected<void, std::string> ConfigLoader::replaceConfigFile(const AppConfig& config) const {
    // Whoever calls this may hold defaults that stood in for a file that failed to load; that file
    // is the user's and stays until they mend or remove it.
    if (const auto existing = readConfigFile(false); !existing) {
        return makeUnexpected("the existing file could not be read and was left unchanged (" +
                              existing.error().message + ")");
    }
    return writeConfigFile(config);
}

Expected<void, std::string> ConfigLoader::writeConfigFile(const AppConfig& config) const {
    const auto text = configFileText(config, maxFileSize_);
    if (!text) {
        return makeUnexpected(text.error());
    }
    return writeFileAtomically(configFile_, *text);
}

Expected<FileLock, std::string> ConfigLoader::lockConfigFile() const {
    if (auto made = makePrivateDirectories(configDirectory_); !made) {
        return makeUnexpected(std::move(made.error()));
    }
    fs::path path = configFile_;
    path += ".lock";
    return FileLock::acquire(path);
}

Expected<void, ConfigLoader::AddSnippetError> ConfigLoader::addSnippet(const ManualSnippet& snippet) {
    if (auto message = snippet.validationError()) {
        return makeUnexpected(AddSnippetError::invalidKey(*message));
    }
    // Start from the file as written, not from the validated configuration: validation drops
    // invalid application blocks and custom providers, and those must survive the rewrite.
    bool duplicate = false;
    const auto updated = updateFile(true, [&](const AppConfig& onDisk) -> std::optional<AppConfig> {
        duplicate = std::any_of(onDisk.snippets.begin(), onDisk.snippets.end(),
                                [&](const ManualSnippet& other) { return other.key == snippet.key; });
        if (duplicate) {
            return std::nullopt;
        }
        AppConfig config = onDisk;
        config.snippets.push_back(snippet);
        return config;
    });
    if (!updated) {
        return makeUnexpected(AddSnippetError::saveFailed(updated.error().message));
    }
    if (duplicate) {
        return makeUnexpected(AddSnippetError::duplicateKey(snippet.key));
    }
    diagnostic("Added snippet '" + snippet.key + "' to global config");
    return {};
}

void ConfigLoader::applyCustomProviderValidation(std::optional<std::vector<CustomProviderConfig>>& providers,
                                                 std::optional<std::string>& error,
                                                 std::string_view context) {
    if (!providers) {
        return;
    }
    if (auto message = CustomProviderConfig::validationError(*providers)) {
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
