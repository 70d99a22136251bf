#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The first executable regular file named `name` in the absolute entries of `searchPath` (a PATH
// value), as a shell would find it; relative entries are skipped.
std::optional<std::string> programOnPath(std::string_view name, std::string_view searchPath);

} // namespace korvane
