#include "providers/programonpath.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

std::optional<std::string> ProgramOnPath::firstOnPath(std::string_view name, std::string_view searchPath) {
    while (!searchPath.empty()) {
        const std::size_t colon = std::min(searchPath.find(':'), searchPath.size());
        const std::string_view entry = searchPath.substr(0, colon);
        searchPath.remove_prefix(std::min(colon + 1, searchPath.size()));
        if (!entry.starts_with('/')) {
            continue;
        }
        const std::string candidate = std::string(entry) + "/" + std::string(name);
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

ProgramOnPath::ProgramOnPath(std::string name, std::string searchPath)
    : name_(std::move(name))
    , searchPath_(std::move(searchPath)) {}

std::string ProgramOnPath::korvaneSearchPath() {
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
}

std::optional<ProgramOnPath::Found> ProgramOnPath::find() {
    if (!path_) {
        path_ = firstOnPath(name_, searchPath_);
    }
    struct stat info {};
    if (!path_ || ::stat(path_->c_str(), &info) != 0) {
        return std::nullopt;
    }
    return Found{*path_, {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}};
}

bool ProgramOnPath::runsHere(ProcessTable& table, std::int32_t pid, const Found& program) {
    const auto own = table.mountNamespace(::getpid());
    return table.executable(pid) == program.file && own && table.mountNamespace(pid) == own;
}

} // namespace korvane
