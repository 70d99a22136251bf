#pragma once

#include "model/snippet.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// What the detail panel derives from a result before drawing it: which section shows it, its
// title, how many characters a body line holds, where a skill lives, the branch figures and the
// short size and age texts. Pure functions; main thread in practice.
class DetailPanelContent {
public:
    enum class Section { link, gitRef, skill, document, file, script, text };

    static constexpr double bodyInset = 28;
    static constexpr int minimumCharactersPerLine = 20;

    static Section sectionFor(const Snippet& snippet);
    // The last path component for a file result, else the display name or the label.
    static std::string title(const Snippet& snippet);
    // Whether the title row carries the "stale" badge: a git ref whose metadata says exactly "true".
    static bool isStale(const Snippet& snippet);
    // Characters per body line at font size `fontSize` in a panel `detailWidth` wide.
    static int charactersPerLine(double fontSize, double detailWidth);
    // The skill's file as shown: relative to the project root when inside it and not global.
    static std::optional<std::string> skillLocationPath(const Snippet& snippet,
                                                        const std::optional<std::string>& projectRoot);
    // A branch count as stored: a decimal with an optional sign, 0 when absent or unparsable.
    static long long branchCount(const std::optional<std::string>& value);
    // The metadata value under `key`, none when absent.
    static std::optional<std::string> metadata(const Snippet& snippet, const char* key);

    // A file size in kilobytes or megabytes, decimal: "Zero KB", "12 KB", "1.2 MB".
    static std::string formatByteCount(std::uint64_t bytes);
    // How long ago `date` was at `now`, in short units: "now", "5 sec. ago", "3 min. ago",
    // "2 hr. ago", "4 days ago", "1 wk. ago", "3 mo. ago", "2 yr. ago" ("in 5 min." ahead).
    static std::string shortRelativeAge(std::chrono::system_clock::time_point date,
                                        std::chrono::system_clock::time_point now);
};

} // namespace korvane
