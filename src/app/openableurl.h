#pragma once

#include <string>

namespace korvane {

// Whether `text` is a complete address with a scheme that an opener can be handed: the check before a
// snippet's address is opened instead of typed.
bool isOpenableURL(const std::string& text);

} // namespace korvane
