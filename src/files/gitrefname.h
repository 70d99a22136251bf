#pragma once

#include <string_view>

namespace korvane {

// Whether `name`, a ref name read from a repository (full, like "refs/heads/main", or short, like
// "main"), may be used: one that `git check-ref-format --allow-onelevel` accepts and whose
// "/"-separated pieces never begin with "-", so that no name a repository holds can reach git as an
// option. Any thread.
bool isSafeRefName(std::string_view name);

} // namespace korvane
