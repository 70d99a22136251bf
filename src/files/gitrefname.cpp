#include "files/gitrefname.h"

namespace korvane {
namespace {

bool isForbiddenCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
        return true;
    }
    switch (c) {
    case ' ':
    case '~':
    case '^':
    case ':':
    case '?':
    case '*':
    case '[':
    case '\\':
        return true;
    default:
        return false;
    }
}

bool isSafeComponent(std::string_view component) {
    return !component.empty() && component.front() != '.' && component.front() != '-' &&
           !component.ends_with(".lock");
}

} // namespace

bool isSafeRefName(std::string_view name) {
    if (name.empty() || name == "@" || name.back() == '.' || name.find("..") != std::string_view::npos ||
        name.find("@{") != std::string_view::npos) {
        return false;
    }
    for (const char c : name) {
        if (isForbiddenCharacter(c)) {
            return false;
        }
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = name.find('/', start);
        const std::string_view component =
            name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (!isSafeComponent(component)) {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

} // namespace korvane
