#pragma once

#include "base/expected.h"
#include "base/fileio.h"
#include "base/filelock.h"
#include "config/appconfig.h"
#include "config/configloaderprotocol.h"
#include "config/configpaths.h"
#include "config/configstore.h"
#include "config/projectconfig.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Reads, checks and writes the global configuration file and reads a project's ".korvane.json".
// Reading never fails outward: problems are logged, remembered for the user interface and answered
// with defaults. A file that cannot be read is never replaced. Main thread only.
class ConfigLoader : public ConfigLoaderProtocol, public ConfigStore {
public:
    // Why `addSnippet` failed.
    class AddSnippetError {
    public:
        enum class Kind { invalidKey, duplicateKey, saveFailed };

        static AddSnippetError invalidKey(std::string message) {
            return {Kind::invalidKey, std::move(message)};
        }
        static AddSnippetError duplicateKey(std::string key) { return {Kind::duplicateKey, std::move(key)}; }
        static AddSnippetError saveFailed(std::string error) { return {Kind::saveFailed, std::move(error)}; }

        Kind kind() const { return kind_; }
        // The validation message, the duplicate key or the underlying error's description.
        const std::string& payload() const { return payload_; }
        std::string description() const;

    private:
        AddSnippetError(Kind kind, std::string payload)
            : kind_(kind)
            , payload_(std::move(payload)) {}

        Kind kind_;
        std::string payload_;
    };

    // `directory` holds "config.json"; tests pass their own instead of the user's. The file is read
    // only up to `maxFileSize` bytes, so nothing larger is ever written to it.
    explicit ConfigLoader(std::filesystem::path directory = korvane::configDirectory(),
                          std::size_t maxFileSize = kMaxTextFileSize);

    const std::optional<std::string>& lastParseError() const { return lastParseError_; }
    const std::optional<std::string>& lastProjectParseError() const { return lastProjectParseError_; }
    const std::filesystem::path& configFilePath() const override { return configFile_; }

    // Creates the directory and writes the default file when they are missing.
    void ensureConfigFile();
    AppConfig loadConfig() override;
    std::optional<ProjectConfig> loadProjectConfig(const std::string& projectRoot);
    // Replaces the global file; a file that cannot be read is left as it is. Failures are logged.
    void writeConfig(const AppConfig& config) override;
    Expected<AppConfig, ConfigLoadError> loadForEditing() override;
    Expected<AppConfig, ConfigUpdateError> updateConfig(const ConfigEdit& edit) override;
    // Replaces the file with `config`. Refused, leaving the file as it is, when the file there
    // cannot be parsed. The error says why nothing was written.
    Expected<void, std::string> saveConfig(const AppConfig& config);
    // Appends one snippet to the global file, keeping everything else in the file as it is.
    Expected<void, AddSnippetError> addSnippet(const ManualSnippet& snippet);

    // When the list fails validation: stores the message in `error`, logs it after `context` and
    // drops the whole list. Otherwise changes nothing.
    static void applyCustomProviderValidation(std::optional<std::vector<CustomProviderConfig>>& providers,
                                              std::optional<std::string>& error, std::string_view context);
    // A snippet key made from free text: lower-cased, spaces as "-", only letters, digits, "-" and "_".
    static std::optional<std::string> sanitizedKey(std::string_view text);
    // Application snippets by application id; a later block with the same id replaces an earlier one.
    static std::map<std::string, std::vector<ManualSnippet>> appSnippetsByBundleId(const AppConfig& config);

private:
    // The global file as decoded, before any validation drops; no value when there is no file.
    Expected<std::optional<AppConfig>, ConfigLoadError> readConfigFile(bool reportWarnings) const;
    // updateConfig(), reporting the snippet warnings of the file when `reportWarnings` is set.
    Expected<AppConfig, ConfigUpdateError> updateFile(bool reportWarnings, const ConfigEdit& edit) const;
    // Writes `config` over the global file unless the file that is there cannot be read. The caller
    // holds the lock.
    Expected<void, std::string> replaceConfigFile(const AppConfig& config) const;
    // Writes `config` over the global file. The caller holds the lock.
    Expected<void, std::string> writeConfigFile(const AppConfig& config) const;
    // Takes "config.json.lock" beside the global file, creating the folder first when it is
    // missing: every read-modify-write of the file holds it.
    Expected<FileLock, std::string> lockConfigFile() const;

    std::filesystem::path configDirectory_;
    std::filesystem::path configFile_;
    std::size_t maxFileSize_;
    std::optional<std::string> lastParseError_;
    std::optional<std::string> lastProjectParseError_;
};

} // namespace korvane
