#pragma once

#include <cstddef>
#include <filesystem>

namespace korvane {

// ".config/korvane" under the user's home directory ($HOME), computed on first use and kept.
const std::filesystem::path& configDirectory();
// "config.json" inside `configDirectory()`.
const std::filesystem::path& configFile();

// The name of the global file inside a configuration directory, and of a project's own file.
inline constexpr const char* kConfigFileName = "config.json";
inline constexpr const char* kProjectConfigFileName = ".korvane.json";
// A larger project file is refused unread: it is parsed on the main thread at every project switch.
inline constexpr std::size_t kMaxProjectConfigSize = 1024 * 1024;

} // namespace korvane
