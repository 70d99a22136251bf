#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The user's custom menu key equivalents, per defaults domain (an application identifier or the
// global domain): menu title to key-equivalent string such as "@$v". Any thread.
class KeyEquivalentSource {
public:
    // The private-use character (U+F727) that stands for the Insert key in a key-equivalent string.
    static constexpr std::string_view insertKey = "\xEF\x9C\xA7";

    virtual ~KeyEquivalentSource() = default;

    // Nothing when the domain has no key equivalents (or they are not a map of texts).
    virtual std::optional<std::map<std::string, std::string>> keyEquivalents(const std::string& domain) const = 0;
};

} // namespace korvane
