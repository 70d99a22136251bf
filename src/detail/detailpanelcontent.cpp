#include "detail/detailpanelcontent.h"

#include "providers/providertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fmt/format.h>

namespace korvane {
namespace {

std::string lowercasedAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

// `value` with thousands grouped by commas.
std::string grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::ptrdiff_t at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

} // namespace

DetailPanelContent::Section DetailPanelContent::sectionFor(const Snippet& snippet) {
    if (snippet.url && !snippet.url->empty()) {
        return Section::link;
    }
    switch (snippet.source.kind()) {
    case SnippetSource::Kind::gitRef:
        return Section::gitRef;
    case SnippetSource::Kind::claudeSkill:
        return Section::skill;
    case SnippetSource::Kind::aiDoc:
        return Section::document;
    case SnippetSource::Kind::filePath:
        return Section::file;
    case SnippetSource::Kind::npmScript:
        return Section::script;
    default:
        return Section::text;
    }
}

std::string DetailPanelContent::title(const Snippet& snippet) {
    if (snippet.source.kind() == SnippetSource::Kind::filePath) {
        std::string_view label = snippet.label;
        while (label.size() > 1 && label.back() == '/') {
            label.remove_suffix(1);
        }
        const std::size_t slash = label.find_last_of('/');
        return std::string(slash == std::string_view::npos || label.size() == 1 ? label
                                                                                : label.substr(slash + 1));
    }
    return snippet.displayName.value_or(snippet.label);
}

bool DetailPanelContent::isStale(const Snippet& snippet) {
    return snippet.source.kind() == SnippetSource::Kind::gitRef && metadata(snippet, "stale") == "true";
}

int DetailPanelContent::charactersPerLine(double fontSize, double detailWidth) {
    const double glyphWidth = std::max((fontSize - 2) * 0.6, 4.0);
    const double characters = std::trunc((detailWidth - bodyInset) / glyphWidth);
    if (!std::isfinite(characters) || characters < minimumCharactersPerLine) {
        return minimumCharactersPerLine;
    }
    return static_cast<int>(std::min(characters, 100000.0));
}

std::optional<std::string> DetailPanelContent::metadata(const Snippet& snippet, const char* key) {
    if (!snippet.metadata) {
        return std::nullopt;
    }
    const auto found = snippet.metadata->find(key);
    return found == snippet.metadata->end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string>
DetailPanelContent::skillLocationPath(const Snippet& snippet, const std::optional<std::string>& projectRoot) {
    const auto filePath = metadata(snippet, "filePath");
    if (!filePath) {
        return std::nullopt;
    }
    const std::string path(trimmedWhitespaceAndNewlines(*filePath));
    if (path.empty()) {
        return std::nullopt;
    }
    if (const auto global = metadata(snippet, "global"); global && lowercasedAscii(*global) == "true") {
        return path;
    }
    if (!projectRoot) {
        return path;
    }
    std::string root(trimmedWhitespaceAndNewlines(*projectRoot));
    if (root.empty()) {
        return path;
    }
    if (root.back() == '/') {
        root.pop_back();
    }
    const std::string prefix = root + "/";
    return path.starts_with(prefix) ? path.substr(prefix.size()) : path;
}

long long DetailPanelContent::branchCount(const std::optional<std::string>& value) {
    if (!value) {
        return 0;
    }
    std::string_view text = *value;
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-') || text.starts_with('+')) {
            return 0;
        }
    }
    long long count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return 0;
    }
    return count;
}

std::string DetailPanelContent::formatByteCount(std::uint64_t bytes) {
    if (bytes == 0) {
        return "Zero KB";
    }
    const double kilobytes = static_cast<double>(bytes) / 1000.0;
    const auto roundedKB = static_cast<std::uint64_t>(std::max(1.0, std::round(kilobytes)));
    if (roundedKB < 1000) {
        return fmt::format("{} KB", roundedKB);
    }
    const double megabytes = static_cast<double>(bytes) / 1'000'000.0;
    const auto tenths = static_cast<std::uint64_t>(std::round(megabytes * 10));
    return fmt::format("{}.{} MB", grouped(tenths / 10), tenths % 10);
}

std::string DetailPanelContent::shortRelativeAge(std::chrono::system_clock::time_point date,
                                                 std::chrono::system_clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - date).count();
    const double magnitude = std::abs(seconds);
    if (magnitude < 1) {
        return "now";
    }
    struct Unit {
        double seconds;
        const char* one;
        const char* many;
    };
    static constexpr Unit units[] = {
        {365 * 86400.0, "yr.", "yr."}, {30 * 86400.0, "mo.", "mo."}, {7 * 86400.0, "wk.", "wk."},
        {86400.0, "day", "days"},      {3600.0, "hr.", "hr."},       {60.0, "min.", "min."},
        {1.0, "sec.", "sec."},
    };
    for (const Unit& unit : units) {
        if (magnitude >= unit.seconds) {
            const auto count = static_cast<long long>(magnitude / unit.seconds);
            const std::string amount = fmt::format("{} {}", count, count == 1 ? unit.one : unit.many);
            return seconds >= 0 ? amount + " ago" : "in " + amount;
        }
    }
    return "now";
}

} // namespace korvane
