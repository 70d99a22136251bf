#pragma once

#include <optional>
#include <string_view>

namespace korvane {

// The shape of the search list: only scopes, snippets followed by scopes, or no snippets at all.
enum class SearchShellVariant { scopesOnly, mixed, scopedEmpty };

std::string_view toString(SearchShellVariant variant);
// Exact, case-sensitive match of "scopesOnly", "mixed" or "scopedEmpty".
std::optional<SearchShellVariant> searchShellVariantFromString(std::string_view text);

} // namespace korvane
