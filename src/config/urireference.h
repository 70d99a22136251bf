#pragma once

#include <string_view>

namespace korvane {

// True when `text` is a URI reference that carries a non-empty scheme, that is an absolute URI:
// scheme ":" hier-part ["?" query] ["#" fragment], with only the characters URIs allow
// (non-ASCII characters must be percent-encoded).
bool isUriWithScheme(std::string_view text);

} // namespace korvane
