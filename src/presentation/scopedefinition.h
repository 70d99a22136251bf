#pragma once

#include "model/snippetsource.h"

#include <string>
#include <vector>

namespace korvane {

// One scope the popup offers as a row of the scope picker: its tokens (the primary one first),
// title, description and the sources it selects. A plain value.
struct ScopeDefinition {
    std::string id;
    std::string primaryAlias;
    std::vector<std::string> aliases;
    std::string title;
    std::string description;
    std::vector<SnippetSource> sources;
};

} // namespace korvane
