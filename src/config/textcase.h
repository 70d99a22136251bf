#pragma once

#include <string>
#include <string_view>

namespace korvane {

// Full Unicode lower-casing of UTF-8 text without locale-specific rules (ICU root locale).
std::string lowercased(std::string_view text);

} // namespace korvane
