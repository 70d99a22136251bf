#pragma once

#include <string>
#include <unordered_set>

namespace korvane {

// Application identifiers of terminals: the macOS bundle identifiers and the desktop-file IDs (or
// window classes) of the common Linux terminals. One list for every part that asks "is this a
// terminal?". Compared exactly, letter case included. Built once; any thread.
const std::unordered_set<std::string>& terminalBundleIDs();

// Application identifiers of known Electron applications, on macOS and Linux. Compared exactly.
const std::unordered_set<std::string>& electronBundleIDs();

} // namespace korvane
