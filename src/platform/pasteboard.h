#pragma once

#include <optional>
#include <string>

namespace korvane {

// The desktop's general clipboard, as text. Main thread.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // The clipboard's text, or nothing when it holds no text.
    virtual std::optional<std::string> string() const = 0;
    virtual void setString(const std::string& text) = 0;
};

} // namespace korvane
