#pragma once

#include "base/expected.h"
#include "config/appconfig.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace korvane {

// Why `ConfigStore::updateConfig` left the file as it was.
struct ConfigUpdateError {
    // The file there could not be read or parsed; otherwise it could not be locked or written.
    bool unreadable = false;
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
    virtual Expected<AppConfig, std::string> loadForEditing() = 0;

    // Reads the file as loadForEditing() does and writes what `edit` makes of it, holding the
    // file's lock from the read to the replacement, so that no other writer's change lands in
    // between and is lost. Nothing is written when the file cannot be read or parsed. Returns the
    // file as it is afterwards.
    virtual Expected<AppConfig, ConfigUpdateError> updateConfig(const ConfigEdit& edit) = 0;

    virtual const std::filesystem::path& configFilePath() const = 0;
};

} // namespace korvane
