#include "platform/gitrepositorytexts.h"

#include <algorithm>

namespace korvane {
bool GitRepositoryTexts::holdsGitlinkMode(std::string_view bytes) {
    for (std::size_t at = bytes.find('\xE0', 2); at != std::string_view::npos && at + 1 < bytes.size();
         at = bytes.find('\xE0', at + 1)) {
        if (bytes.substr(at - 2, gitlinkMode.size()) == gitlinkMode) {
            return true;
        }
    }
    return false;
}

bool GitRepositoryTexts::isIncludeKey(std::string_view key) {
    if (key == "include.path") {
        return true;
    }
    return key.starts_with("includeif.") && key.ends_with(".path") && key.size() > 15;
}

std::string GitRepositoryTexts::pathInFile(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return std::string(text.substr(0, text.find('\0')));
}

std::optional<std::pair<std::filesystem::path, std::optional<std::string>>>
GitRepositoryTexts::discovery(std::string_view output) {
    bool inside = false;
    if (output.starts_with("true\n")) {
        inside = true;
    } else if (!output.starts_with("false\n")) {
        return std::nullopt;
    }
    output.remove_prefix(output.find('\n') + 1);
    if (!output.ends_with('\n')) {
        return std::nullopt;
    }
    output.remove_suffix(1);
    std::optional<std::string> up;
    if (inside) {
        const std::size_t lastBreak = output.rfind('\n');
        if (lastBreak == std::string_view::npos) {
            return std::nullopt;
        }
        up = std::string(output.substr(lastBreak + 1));
        for (std::size_t at = 0; at < up->size(); at += 3) {
            if (up->compare(at, 3, "../") != 0) {
                return std::nullopt;
            }
        }
        output = output.substr(0, lastBreak);
    }
    const std::filesystem::path gitDir(output);
    if (!gitDir.is_absolute()) {
        return std::nullopt;
    }
    return std::pair(gitDir, std::move(up));
}

std::string GitRepositoryTexts::complaint(std::string_view text) {
    constexpr std::size_t limit = 300;
    std::string line;
    for (const char c : text) {
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        if (!(control || c == ' ') || (!line.empty() && line.back() != ' ')) {
            line += control ? ' ' : c;
        }
    }
    while (line.starts_with("fatal: ") || line.starts_with("error: ")) {
        line.erase(0, 7);
    }
    if (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        line.resize(cut);
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

void GitRepositoryTexts::addAttributeDrivers(std::string_view text,
                                             std::set<std::string, std::less<>>& drivers) {
    constexpr std::string_view kinds[] = {"filter=", "diff=", "merge="};
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t\r\n", at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
        const std::string_view token = text.substr(start, end - start);
        for (const auto kind : kinds) {
            if (token.starts_with(kind) && token.size() > kind.size()) {
                drivers.emplace(token.substr(kind.size()));
            }
        }
        at = end;
    }
}

} // namespace korvane
