#include "gitguard/gitrepositorytexts.h"

#include <algorithm>

namespace korvane {
namespace {

// `text` cut to at most `limit` bytes at the start of a character.
std::string_view cut(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t at = limit;
    while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
        --at;
    }
    return text.substr(0, at);
}

} // namespace

bool GitRepositoryTexts::listsGitlink(std::string_view record) {
    return record.starts_with(gitlinkRecordStart);
}

bool GitRepositoryTexts::holdsGitlinkMode(std::string_view bytes) {
    for (std::size_t at = bytes.find('\xE0', 2); at != std::string_view::npos && at + 1 < bytes.size();
         at = bytes.find('\xE0', at + 1)) {
        if (bytes.substr(at - 2, gitlinkMode.size()) == gitlinkMode) {
            return true;
        }
    }
    return false;
}

std::optional<std::vector<std::string>> GitRepositoryTexts::lines(std::string_view output,
                                                                  std::size_t count) {
    std::vector<std::string> values;
    while (!output.empty()) {
        const std::size_t end = output.find('\n');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        values.emplace_back(output.substr(0, end));
        output.remove_prefix(end + 1);
    }
    if (values.size() != count) {
        return std::nullopt;
    }
    return values;
}

std::string GitRepositoryTexts::line(std::string_view output) {
    if (output.ends_with('\n')) {
        output.remove_suffix(1);
    }
    return std::string(output);
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
    line.resize(cut(line, limit).size());
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

std::string GitRepositoryTexts::shown(std::string_view text, std::size_t limit) {
    const std::string_view kept = cut(text, limit);
    return kept.size() == text.size() ? std::string(text) : std::string(kept) + "…";
}

} // namespace korvane
