#pragma once

#include <string>
#include <string_view>

namespace korvane {

// How log lines name a root or working directory: its last non-empty "/"-separated piece, or
// "unknown" when it has none ("/" or "").
std::string logRootName(std::string_view path);

} // namespace korvane
