#pragma once

#include "files/gitoutput.h"

#include <functional>
#include <string>
#include <vector>

namespace korvane {

// Runs one git command line (the arguments after the program name) in a directory with a time limit
// in seconds and returns the non-empty lines it printed, or nothing, with why, when the run failed in
// any way. Callable from any thread; blocks until the run has ended.
using CommandRunner = std::function<GitOutput(const std::vector<std::string>& arguments,
                                              const std::string& directory, double timeout)>;

} // namespace korvane
