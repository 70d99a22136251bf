#pragma once

#include <map>
#include <optional>
#include <string>

namespace korvane {

// The user's custom menu key equivalents, per defaults domain (an application identifier or the
// global domain): menu title to key-equivalent string such as "@$v". Any thread.
class KeyEquivalentSource {
public:
    virtual ~KeyEquivalentSource() = default;

    // Nothing when the domain has no key equivalents (or they are not a map of texts).
    virtual std::optional<std::map<std::string, std::string>> keyEquivalents(const std::string& domain) const = 0;
};

} // namespace korvane
