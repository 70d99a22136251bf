#pragma once

#include "base/expected.h"
#include "config/appconfig.h"

#include <filesystem>
#include <string>

namespace korvane {

// Why the configuration file could not be loaded for editing: the file could not be read (it is no
// regular file, is too large or may not be read), or its text does not parse.
struct ConfigLoadError {
    enum class Kind { file, parse };

    Kind kind = Kind::parse;
    std::string message;

    // What the user is told: "Config file error: " or "Config parse error: ", then the message.
    std::string description() const {
        return (kind == Kind::file ? "Config file error: " : "Config parse error: ") + message;
    }
};

// What the settings window needs of the global configuration file: read it for editing exactly as
// written, and write it back with a result. The runtime's validation drops do not apply here, so a
// save keeps what the user wrote even where Korvane cannot use it yet. Main thread.
class ConfigStore {
public:
    virtual ~ConfigStore() = default;

    // The file decoded as written: invalid application blocks and custom providers stay. A missing
    // file reads as the default configuration; a file that cannot be read or parsed is an error,
    // never replaced by defaults.
    virtual Expected<AppConfig, ConfigLoadError> loadForEditing() = 0;

    // Replaces the file with `config`. Refused, leaving the file as it is, when the file there
    // cannot be parsed. The error says why nothing was written.
    virtual Expected<void, std::string> saveConfig(const AppConfig& config) = 0;

    virtual const std::filesystem::path& configFilePath() const = 0;
};

} // namespace korvane
