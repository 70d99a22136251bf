#pragma once

#include "registry/queryintent.h"

#include <string>

namespace korvane {

class ScopeRegistry;

// Classifies a query text into what the popup should show for it. Pure; main thread.
class QueryIntentResolver {
public:
    static QueryIntent resolve(const std::string& text, const ScopeRegistry& registry);
};

} // namespace korvane
