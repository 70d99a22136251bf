#pragma once

#include "base/expected.h"
#include "config/appconfig.h"

#include <filesystem>
#include <functional>
#include <optional>
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

// Why `ConfigStore::updateConfig` left the file as it was.
struct ConfigUpdateError {
    // Why the file there could not be read or parsed; none when it could not be locked or written.
    std::optional<ConfigLoadError> unreadable;
    std::string message;
};

// What the settings window needs of the global configuration file: read it for editing exactly as
// written, and change it with a result. The runtime's validation drops do not apply here, so a
// save keeps what the user wrote even where Korvane cannot use it yet. Main thread.
class ConfigStore {
public:
    // Given the file as it is now, the configuration to write over it, or none to leave it.
    using ConfigEdit = std::function<std::optional<AppConfig>(const AppConfig& onDisk)>;

    virtual ~ConfigStore() = default;

    // The file decoded as written: invalid application blocks and custom providers stay. A missing
    // file reads as the default configuration; a file that cannot be read or parsed is an error,
    // never replaced by defaults.
    virtual Expected<AppConfig, ConfigLoadError> loadForEditing() = 0;

    // Reads the file as loadForEditing() does and writes what `edit` makes of it, holding the
    // file's lock from the read to the replacement, so that no other writer's change lands in
    // between and is lost. Nothing is written when the file cannot be read or parsed. Returns the
    // file as it is afterwards.
    virtual Expected<AppConfig, ConfigUpdateError> updateConfig(const ConfigEdit& edit) = 0;

    virtual const std::filesystem::path& configFilePath() const = 0;
};

} // namespace korvane
