#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// A configuration key as git reads it: the section up to the first dot, the variable after the last,
// and between them, where there are two dots or more, a subsection (which may be empty or hold dots).
// git lists section and variable in lower case and a subsection as written. Plain value; any thread.
struct GitConfigKey {
    std::string_view section;
    std::optional<std::string_view> subsection;
    std::string_view variable;

    // None for a key without a dot, or with an empty section or variable.
    static std::optional<GitConfigKey> parse(std::string_view key);

    // Whether two sections or variables are the same, as git compares them: without case.
    static bool sameWithoutCase(std::string_view a, std::string_view b);

    // Whether a part of a key in git's own spelling is "<...>", which stands for any name.
    static bool isPlaceholder(std::string_view part);

    // The key in the one spelling of every key git reads as the same: section and variable in lower case.
    std::string folded() const;

    // Whether `key` is one of the keys that `pattern` stands for, in git's own spelling of keys: a part
    // "<...>" stands for any name the configuration chooses, a last part "*" for any variable and one
    // ending in "*" ("annex-*") for any that begins with the rest. Section and variable compare without
    // case, a subsection with it.
    static bool matches(const GitConfigKey& pattern, const GitConfigKey& key);
};

} // namespace korvane
