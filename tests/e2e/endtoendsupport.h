#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// Helpers of the end-to-end test: child processes it starts and reaps, shell output, and the text a
// raw terminal ends up showing.
namespace korvane::test::e2e {

std::string quoted(const std::string& text);

// What `command` printed on stdout, without the final line break.
std::string output(const std::string& command);

std::vector<std::string> lines(const std::string& text);

std::size_t count(const std::string& text, const std::string& needle);

// The text a plain line editor holds after receiving `bytes` from a terminal in raw mode:
// Backspace and Delete remove the character before the cursor, the arrow keys move it, a carriage
// return breaks the line. What the application sent a terminal, as the user would see it edited.
std::string edited(const std::string& bytes);

// Starts `argv` with `environment`, its output appended to two files; the process id.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const std::filesystem::path& out, const std::filesystem::path& err);

// Whether the child `pid` has ended, reaping it; its wait status in `status`.
bool ended(pid_t pid, int* status = nullptr);

void stop(pid_t pid);

} // namespace korvane::test::e2e
