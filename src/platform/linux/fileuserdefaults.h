#pragma once

#include "platform/userdefaults.h"

#include <filesystem>

namespace korvane {

// The user's flags as a small JSON object of Booleans in the state folder, away from the configuration
// folder (whose every write would reload the configuration). A file that cannot be parsed reads as all
// false and stays as it is until a flag is set, which replaces it. Main thread.
class FileUserDefaults final : public UserDefaults {
public:
    explicit FileUserDefaults(std::filesystem::path file = defaultFile());

    // $XDG_STATE_HOME/korvane/defaults.json, or ~/.local/state/korvane/defaults.json when that variable
    // is unset, empty or not an absolute path.
    static std::filesystem::path defaultFile();

    bool boolForKey(const std::string& key) const override;
    // Written at once and atomically; a failure is logged and the flag reads as before.
    void setBool(const std::string& key, bool value) override;

    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
};

} // namespace korvane
