#pragma once

#include <functional>
#include <string_view>

namespace korvane {

// Writes one diagnostic line, "[Korvane] " followed by `message`, to standard output. Control
// characters, what reorders or hides text (bidirectional controls, zero-width characters) and
// malformed UTF-8 in `message` are written as escapes, so a line is always one line of plain text
// that reads as it is stored. Safe to call from any thread.
void diagnostic(std::string_view message);

// Writes one timing line to the system journal (syslog, info level) under `category`,
// which by convention is "<Component>.Performance", `message` escaped as a diagnostic line's.
// Safe to call from any thread.
void performanceLog(std::string_view category, std::string_view message);

// Writes one line at error level to the system journal under `category` (a component name such as
// "GitCommandRunner"). Safe to call from any thread; a performance hook receives these lines too.
void errorLog(std::string_view category, std::string_view message);

// Hooks that replace the two destinations above while set; tests use them to read the lines.
// A diagnostic hook receives the whole line including the "[Korvane] " prefix.
using DiagnosticHook = std::function<void(std::string_view line)>;
using PerformanceHook = std::function<void(std::string_view category, std::string_view message)>;
void setDiagnosticHook(DiagnosticHook hook);
void setPerformanceHook(PerformanceHook hook);

} // namespace korvane
