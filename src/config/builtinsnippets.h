#pragma once

#include "config/manualsnippet.h"

#include <vector>

namespace korvane {

// The five snippets offered everywhere without configuration ("date", "now", "uuid", "paste",
// "shrug"); a user, application or project snippet with the same key replaces one of them.
const std::vector<ManualSnippet>& builtInSnippets();

} // namespace korvane
