#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// Where a manual snippet is defined: an application's set, the global file or the project file.
enum class SnippetScope { app, global, project };

std::string_view toString(SnippetScope scope);
std::optional<SnippetScope> snippetScopeFromString(std::string_view text);

} // namespace korvane
