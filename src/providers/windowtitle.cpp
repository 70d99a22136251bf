#include "providers/windowtitle.h"

#include "base/unicode.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unicode/uchar.h>

namespace korvane {

namespace {

constexpr std::array<std::string_view, 3> kSeparators{" \u2014 ", " - ", " | "};
constexpr std::array<std::string_view, 8> kSearchRoots{"/projects", "/workspace", "/dev",       "/code",
                                                       "/src",      "/repos",     "/Documents", "/Desktop"};
constexpr std::string_view kEllipsisPrefix = "\u2026/";
constexpr std::string_view kDotsPrefix = ".../";
constexpr std::size_t kMaxBareNameLength = 100;
constexpr std::size_t kMaxUserNameLength = 32;

std::vector<std::string> splitParts(const std::string& title) {
    std::vector<std::string> parts{title};
    for (std::string_view separator : kSeparators) {
        std::vector<std::string> pieces;
        for (const std::string& part : parts) {
            std::size_t start = 0;
            for (std::size_t at = part.find(separator); at != std::string::npos; at = part.find(separator, start)) {
                pieces.push_back(part.substr(start, at - start));
                start = at + separator.size();
            }
            pieces.push_back(part.substr(start));
        }
        parts = std::move(pieces);
    }
    return parts;
}

std::string trimmed(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void removeAll(std::string& text, std::string_view piece) {
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at)) {
        text.erase(at, piece.size());
    }
}

// A name as user databases accept it; anything else in a title is not looked up.
bool isPlausibleUserName(std::string_view name) {
    if (name.empty() || name.size() > kMaxUserNameLength || name.front() == '-') {
        return false;
    }
    for (char c : name) {
        bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                       c == '_' || c == '-';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> expandTilde(const std::string& text, const std::string& home, FileProbe& files) {
    std::size_t slash = text.find('/');
    std::string name = text.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string rest = slash == std::string::npos ? std::string() : text.substr(slash);
    if (name.empty()) {
        if (home.empty()) {
            return std::nullopt;
        }
        return home + rest;
    }
    if (!isPlausibleUserName(name)) {
        return std::nullopt;
    }
    auto userHome = files.homeDirectory(name);
    if (!userHome) {
        return std::nullopt;
    }
    return *userHome + rest;
}

bool isBareName(const std::string& text) {
    if (text.empty() || text.find(' ') != std::string::npos || text.find('.') != std::string::npos) {
        return false;
    }
    std::size_t offset = 0;
    if (!u_isalpha(nextCodePoint(text, offset))) {
        return false;
    }
    return graphemeCount(text) <= kMaxBareNameLength;
}

bool hasNonEmptyComponent(const std::string& path) {
    return path.find_first_not_of('/') != std::string::npos;
}

std::vector<std::string> visibleEntries(const std::string& root, FileProbe& files) {
    std::vector<std::string> entries;
    if (auto listing = files.listDirectory(root)) {
        for (std::string& name : *listing) {
            if (!name.starts_with('.')) {
                entries.push_back(std::move(name));
            }
        }
    }
    return entries;
}

std::string lastPathComponent(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos || path == "/" ? path : path.substr(slash + 1);
}

bool isPromptNameCharacter(char c) {
    return c != '@' && c != ':' && c != '/' && c != ' ' && c != '\t' && c != '(' && c != ')';
}

// The folder of a shell prompt's title, "user@host: folder" (Debian's prompts set it so, after a
// "(chroot)" when there is one), where the folder is a path from "/" or "~"; absent for any other text.
std::optional<std::string> promptFolder(std::string_view text) {
    if (text.starts_with('(')) {
        const std::size_t close = text.find(')');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        text.remove_prefix(close + 1);
    }
    std::size_t at = 0;
    while (at < text.size() && isPromptNameCharacter(text[at])) {
        ++at;
    }
    if (at == 0 || at == text.size() || text[at] != '@') {
        return std::nullopt;
    }
    std::size_t colon = at + 1;
    while (colon < text.size() && isPromptNameCharacter(text[colon])) {
        ++colon;
    }
    if (colon == at + 1 || colon == text.size() || text[colon] != ':') {
        return std::nullopt;
    }
    std::string_view folder = text.substr(colon + 1);
    folder.remove_prefix(std::min(folder.find_first_not_of(" \t"), folder.size()));
    if (!folder.starts_with('/') && !folder.starts_with('~')) {
        return std::nullopt;
    }
    return std::string(folder);
}

} // namespace

std::vector<std::string> titleComponents(const std::string& title) {
    std::vector<std::string> components;
    for (const std::string& part : splitParts(title)) {
        if (std::string t = trimmed(part); !t.empty()) {
            components.push_back(std::move(t));
        }
    }
    return components;
}

std::vector<std::string> candidatePaths(const std::string& title, FileProbe& files) {
    std::vector<std::string> paths;
    std::string home = files.homeDirectory();
    std::vector<std::string> roots;
    if (!home.empty() && home != "/") {
        for (std::string_view suffix : kSearchRoots) {
            std::string root = home + std::string(suffix);
            if (files.exists(root)) {
                roots.push_back(std::move(root));
            }
        }
    }

    for (const std::string& part : splitParts(title)) {
        std::string t = trimmed(part);
        if (auto folder = promptFolder(t)) {
            t = std::move(*folder);
        }
        if (t.starts_with('/')) {
            paths.push_back(t);
        } else if (t.starts_with('~')) {
            if (auto expanded = expandTilde(t, home, files)) {
                paths.push_back(std::move(*expanded));
            }
        } else if (t.starts_with(kEllipsisPrefix) || t.starts_with(kDotsPrefix)) {
            std::string rel = t;
            removeAll(rel, kEllipsisPrefix);
            removeAll(rel, kDotsPrefix);
            if (rel.empty()) {
                continue;
            }
            std::vector<std::string> tries;
            if (!home.empty()) {
                tries.push_back(home + "/" + rel);
            }
            for (const std::string& root : roots) {
                tries.push_back(root + "/" + rel);
            }
            std::optional<std::string> hit;
            for (const std::string& candidate : tries) {
                if (files.exists(candidate)) {
                    hit = candidate;
                    break;
                }
            }
            if (!hit && hasNonEmptyComponent(rel)) {
                for (const std::string& root : roots) {
                    for (const std::string& entry : visibleEntries(root, files)) {
                        std::string candidate = root + "/" + entry + "/" + rel;
                        if (files.exists(candidate)) {
                            hit = std::move(candidate);
                            break;
                        }
                    }
                    if (hit) {
                        break;
                    }
                }
            }
            if (hit) {
                paths.push_back(std::move(*hit));
            }
        } else if (isBareName(t)) {
            for (const std::string& root : roots) {
                if (std::string direct = root + "/" + t; files.exists(direct)) {
                    paths.push_back(std::move(direct));
                }
                for (const std::string& entry : visibleEntries(root, files)) {
                    if (std::string nested = root + "/" + entry + "/" + t; files.exists(nested)) {
                        paths.push_back(std::move(nested));
                    }
                }
            }
        }
    }
    return paths;
}

std::optional<std::string> matchCurrentRoot(const std::string& title, const std::optional<std::string>& currentRoot) {
    if (!currentRoot) {
        return std::nullopt;
    }
    std::string name = lowercased(lastPathComponent(*currentRoot));
    for (const std::string& component : titleComponents(title)) {
        if (canonicallyEqual(lowercased(component), name)) {
            return currentRoot;
        }
    }
    return std::nullopt;
}

} // namespace korvane
