#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

// Helpers of the tests that drive real processes and X sessions: waiting for a condition with a
// deadline, running a shell command, reading a file whole.
namespace korvane::test {

// Checks `predicate` every 5 ms until it holds or `seconds` pass; whether it held. The deadline is
// generous for slow machines: a passing test returns as soon as the condition holds.
template <typename Predicate> bool pollUntil(Predicate predicate, double seconds = 5.0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The exit status of `command` run by /bin/sh, as std::system reports it.
inline int run(const std::string& command) {
    return std::system(command.c_str());
}

// Makes the window found by the xdotool search `criteria` the active one and waits until the window
// manager says so. Retried: under load the window manager may still be starting, or the window still
// on its way, when the first attempt is made.
inline bool activateWindow(const std::string& criteria, double seconds = 30.0) {
    const std::string command =
        "timeout 10 xdotool search --sync " + criteria + " windowactivate --sync >/dev/null 2>&1";
    return pollUntil([&] { return run(command) == 0; }, seconds);
}

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace korvane::test
