#pragma once

#include "base/textrange.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One stretch of a result's label that matched the query or did not.
struct LabelRun {
    std::string text;
    bool matched = false;

    bool operator==(const LabelRun&) const = default;
};

// The text of a result row's label: the matched and unmatched stretches of a label, and the
// shortened form of a long file path with its match ranges moved along. Offsets and lengths count
// user-perceived characters. Pure functions, any thread.
class RowLabel {
public:
    static constexpr std::size_t maxPathLength = 45;

    // The label split into runs of consecutive characters that all matched or all did not; ranges
    // past the end play no part. Without ranges, one unmatched run.
    static std::vector<LabelRun> highlightRuns(std::string_view text, const TextRanges& ranges);

    // A path longer than `maxLength` as first/second/.../last, or first/.../last, whichever fits
    // first; unchanged when it is short, has fewer than three components or cannot be made to fit.
    static std::string shortenPath(std::string_view path, std::size_t maxLength = maxPathLength);

    // `ranges` of `full` moved onto `shortened`: ranges within the kept components follow them;
    // ranges in dropped components, on separators or across components are dropped. The result is
    // sorted by start.
    static TextRanges remapRanges(std::string_view full, std::string_view shortened,
                                  const TextRanges& ranges);
};

} // namespace korvane
