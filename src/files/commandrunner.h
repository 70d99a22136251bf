#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Runs one git command line (the arguments after the program name) in a directory with a time limit
// in seconds and returns the non-empty lines it printed, or nothing when the run failed in any way.
// Callable from any thread; blocks until the run has ended.
using CommandRunner = std::function<std::optional<std::vector<std::string>>(
    const std::vector<std::string>& arguments, const std::string& directory, double timeout)>;

} // namespace korvane
