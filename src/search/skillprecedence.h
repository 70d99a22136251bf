#pragma once

#include "model/snippet.h"

#include <vector>

namespace korvane {

// Orders a list of skill snippets so that the project's own skills come first and hide the user's
// global skills (metadata "global" = "true") of the same label; the rest keep their order. Applying
// it twice gives the same list. Pure; any thread.
std::vector<Snippet> applySkillPrecedence(std::vector<Snippet> skills);

} // namespace korvane
