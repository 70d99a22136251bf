#include "platform/linux/procelectronprobe.h"

#include <string>

namespace korvane {

namespace fs = std::filesystem;

ProcElectronProbe::ProcElectronProbe(ProcessLookup lookup, fs::path procRoot)
    : lookup_(std::move(lookup))
    , procRoot_(std::move(procRoot)) {}

bool ProcElectronProbe::isElectronApp(const std::string& bundleID) {
    auto pid = lookup_ ? lookup_(bundleID) : std::nullopt;
    if (!pid) {
        return false;
    }
    fs::path process = procRoot_ / std::to_string(*pid);
    std::error_code error;
    std::string target = fs::read_symlink(process / "exe", error).string();
    if (error || target.empty()) {
        return false;
    }
    constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted)) {
        target.resize(target.size() - deleted.size());
    }
    fs::path executable = target;
    // A sandboxed application's path is only valid inside its own mount namespace. (A replaced
    // executable is missing too, but its folder is still there.)
    if (!fs::exists(executable.parent_path(), error) && executable.is_absolute()) {
        executable = process / "root" / executable.relative_path();
    }
    return isElectronExecutable(executable);
}

bool ProcElectronProbe::isElectronExecutable(const fs::path& executable) {
    if (executable.filename().string().starts_with("electron")) {
        return true;
    }
    fs::path resources = executable.parent_path() / "resources";
    std::error_code error;
    for (const char* archive : {"app.asar", "electron.asar", "default_app.asar"}) {
        if (fs::exists(resources / archive, error)) {
            return true;
        }
    }
    return false;
}

} // namespace korvane
