#pragma once

#include "platform/electronprobe.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace korvane {

// Tells Electron applications by their executable, read from /proc: the Electron runtime itself, or
// a program that ships an Electron archive in "resources" beside it. Any thread.
class ProcElectronProbe final : public ElectronProbe {
public:
    // Finds a running process of an application identifier.
    using ProcessLookup = std::function<std::optional<std::int32_t>(const std::string& bundleID)>;

    explicit ProcElectronProbe(ProcessLookup lookup, std::filesystem::path procRoot = "/proc");

    bool isElectronApp(const std::string& bundleID) override;

    static bool isElectronExecutable(const std::filesystem::path& executable);

private:
    ProcessLookup lookup_;
    std::filesystem::path procRoot_;
};

} // namespace korvane
