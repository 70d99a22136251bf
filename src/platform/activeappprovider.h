#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// The application that has the keyboard focus: its application identifier (a desktop-file ID on
// Linux) and its process.
struct FrontmostApplication {
    std::string bundleID;
    std::int32_t pid = 0;

    bool operator==(const FrontmostApplication&) const = default;
};

// Reports the application the user is typing into and the title of its focused window. Every
// answer is absent when it cannot be had; nothing prompts or blocks for long. Any thread.
class ActiveAppProvider {
public:
    virtual ~ActiveAppProvider() = default;

    virtual std::optional<FrontmostApplication> frontmostApplication() = 0;
    virtual std::optional<std::string> focusedWindowTitle(std::int32_t pid) = 0;

    // The platform's handle of the focused window (the X window on Linux), so that a caller can
    // tell later whether the focus is still where it was.
    virtual std::optional<std::uint64_t> activeWindowID() = 0;
};

} // namespace korvane
