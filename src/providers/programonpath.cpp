#include "providers/programonpath.h"

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace korvane {

std::optional<std::string> programOnPath(std::string_view name, std::string_view searchPath) {
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

} // namespace korvane
