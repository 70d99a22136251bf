#include "gitguard/gitconfigkey.h"

namespace korvane {
namespace {

char lowered(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void appendLowered(std::string& to, std::string_view part) {
    for (const char c : part) {
        to.push_back(lowered(c));
    }
}

bool partMatches(std::string_view pattern, std::string_view part, bool withCase) {
    return GitConfigKey::isPlaceholder(pattern) ||
           (withCase ? pattern == part : GitConfigKey::sameWithoutCase(pattern, part));
}

} // namespace

std::optional<GitConfigKey> GitConfigKey::parse(std::string_view key) {
    const std::size_t first = key.find('.');
    const std::size_t last = key.rfind('.');
    if (first == std::string_view::npos || first == 0 || last + 1 == key.size()) {
        return std::nullopt;
    }
    GitConfigKey parts{key.substr(0, first), std::nullopt, key.substr(last + 1)};
    if (last != first) {
        parts.subsection = key.substr(first + 1, last - first - 1);
    }
    return parts;
}

bool GitConfigKey::isPlaceholder(std::string_view part) {
    return part.size() > 2 && part.front() == '<' && part.back() == '>';
}

std::string GitConfigKey::folded() const {
    std::string key;
    key.reserve(section.size() + variable.size() + (subsection ? subsection->size() + 2 : 1));
    appendLowered(key, section);
    key.push_back('.');
    if (subsection) {
        key.append(*subsection).push_back('.');
    }
    appendLowered(key, variable);
    return key;
}

bool GitConfigKey::sameWithoutCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowered(a[i]) != lowered(b[i])) {
            return false;
        }
    }
    return true;
}

bool GitConfigKey::matches(const GitConfigKey& pattern, const GitConfigKey& key) {
    if (!partMatches(pattern.section, key.section, false) ||
        pattern.subsection.has_value() != key.subsection.has_value()) {
        return false;
    }
    if (pattern.subsection && !partMatches(*pattern.subsection, *key.subsection, true)) {
        return false;
    }
    if (pattern.variable.ends_with('*')) {
        const std::string_view front = pattern.variable.substr(0, pattern.variable.size() - 1);
        return sameWithoutCase(front, key.variable.substr(0, front.size()));
    }
    return partMatches(pattern.variable, key.variable, false);
}

} // namespace korvane
