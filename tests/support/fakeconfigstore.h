#pragma once

#include "config/configstore.h"

#include <optional>
#include <string>

namespace korvane::test {

// A configuration file in memory for the settings view model's tests: what a load reads, whether
// it parses, whether a write fails, and every write made.
class FakeConfigStore final : public ConfigStore {
public:
    explicit FakeConfigStore(AppConfig file = {})
        : file(std::move(file)) {}

    Expected<AppConfig, ConfigLoadError> loadForEditing() override {
        if (parseError) {
            return makeUnexpected(ConfigLoadError{ConfigLoadError::Kind::parse, *parseError});
        }
        return file;
    }

    Expected<void, std::string> saveConfig(const AppConfig& config) override {
        if (parseError) {
            return makeUnexpected("the existing file could not be read and was left unchanged");
        }
        if (writeError) {
            return makeUnexpected(*writeError);
        }
        file = config;
        ++writeCount;
        return {};
    }

    const std::filesystem::path& configFilePath() const override { return path; }

    AppConfig file;
    // Set: the file does not parse; loads fail with this and writes are refused.
    std::optional<std::string> parseError;
    // Set: writes fail with this.
    std::optional<std::string> writeError;
    int writeCount = 0;
    std::filesystem::path path = "/home/user/.config/korvane/config.json";
};

} // namespace korvane::test
