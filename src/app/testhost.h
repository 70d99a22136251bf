#pragma once

#include <string>

namespace korvane {

// Whether the process runs inside a test host, where Korvane starts nothing: one of the test
// runner's variables is present (an empty value counts), or the injected library list names the test
// bundle injector. Any thread.
bool isRunningTests();

// Korvane's version as the build states it.
std::string applicationVersion();

} // namespace korvane
