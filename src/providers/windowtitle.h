#pragma once

#include "platform/fileprobe.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Turning a window title into directories that may name a project. Titles are untrusted text: they
// only ever lead to existence tests, to listings of the fixed search roots in the home directory
// and to a home-directory lookup of a well-formed user name. Main thread.

// The parts of a title split at " — ", " - " and " | " (in that order), trimmed of spaces and tabs,
// empty parts dropped.
std::vector<std::string> titleComponents(const std::string& title);

// The paths a title may point at, in the order they should be tried; duplicates are possible. A part
// that is a shell prompt's "user@host: folder" stands for its folder.
std::vector<std::string> candidatePaths(const std::string& title, FileProbe& files);

// `currentRoot` when one of the title's parts is its folder name in any letter case.
std::optional<std::string> matchCurrentRoot(const std::string& title, const std::optional<std::string>& currentRoot);

} // namespace korvane
