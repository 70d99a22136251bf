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
            return makeUnexpected(loadError());
        }
        return file;
    }

    Expected<AppConfig, ConfigUpdateError> updateConfig(const ConfigEdit& edit) override {
        if (parseError) {
            return makeUnexpected(ConfigUpdateError{loadError(), *parseError});
        }
        auto changed = edit(file);
        if (!changed) {
            return file;
        }
        if (writeError) {
            return makeUnexpected(ConfigUpdateError{std::nullopt, *writeError});
        }
        file = std::move(*changed);
        ++writeCount;
        return file;
    }

    const std::filesystem::path& configFilePath() const override { return path; }

    ConfigLoadError loadError() const { return {ConfigLoadError::Kind::parse, parseError.value_or("")}; }

    AppConfig file;
    // Set: the file does not parse; loads and updates fail with this.
    std::optional<std::string> parseError;
    // Set: writes fail with this.
    std::optional<std::string> writeError;
    int writeCount = 0;
    std::filesystem::path path = "/home/user/.config/korvane/config.json";
};

} // namespace korvane::test
