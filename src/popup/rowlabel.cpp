#include "popup/rowlabel.h"

#include "base/graphemescanner.h"

#include <algorithm>
#include <optional>

namespace korvane {
namespace {

// A non-empty path component and where it starts in the path, in characters.
struct Component {
    std::string_view text;
    std::size_t start = 0;
    std::size_t length = 0;
};

std::size_t characters(std::string_view text) {
    thread_local GraphemeScanner scanner;
    return scanner.clusterCount(text);
}

std::vector<Component> components(std::string_view path) {
    std::vector<Component> out;
    std::size_t offset = 0;
    std::size_t characterOffset = 0;
    while (offset <= path.size()) {
        const std::size_t slash = std::min(path.find('/', offset), path.size());
        const std::string_view part = path.substr(offset, slash - offset);
        const std::size_t length = characters(part);
        if (!part.empty()) {
            out.push_back(Component{part, characterOffset, length});
        }
        characterOffset += length + 1;
        offset = slash + 1;
    }
    return out;
}

const std::string_view marker = "/.../";

} // namespace

std::vector<LabelRun> RowLabel::highlightRuns(std::string_view text, const TextRanges& ranges) {
    std::vector<LabelRun> runs;
    GraphemeScanner scanner;
    scanner.start(text);
    std::size_t begin = 0;
    std::size_t index = 0;
    for (std::size_t end = scanner.next(); end != GraphemeScanner::npos; end = scanner.next(), ++index) {
        const bool matched =
            !ranges.empty() && std::any_of(ranges.begin(), ranges.end(), [&](const TextRange& r) {
                return r.start <= index && index < r.end;
            });
        if (runs.empty() || runs.back().matched != matched) {
            runs.push_back(LabelRun{std::string(), matched});
        }
        runs.back().text.append(text.substr(begin, end - begin));
        begin = end;
    }
    return runs;
}

std::string RowLabel::shortenPath(std::string_view path, std::size_t maxLength) {
    if (characters(path) <= maxLength) {
        return std::string(path);
    }
    const auto parts = components(path);
    if (parts.size() < 3) {
        return std::string(path);
    }
    const auto& first = parts.front();
    const auto& last = parts.back();
    if (parts.size() >= 4) {
        std::string candidate = std::string(first.text) + "/" + std::string(parts[1].text) +
                                std::string(marker) + std::string(last.text);
        if (first.length + 1 + parts[1].length + marker.size() + last.length <= maxLength) {
            return candidate;
        }
    }
    if (first.length + marker.size() + last.length <= maxLength) {
        return std::string(first.text) + std::string(marker) + std::string(last.text);
    }
    return std::string(path);
}

TextRanges RowLabel::remapRanges(std::string_view full, std::string_view shortened,
                                 const TextRanges& ranges) {
    if (shortened == full) {
        return ranges;
    }
    const auto parts = components(full);
    if (parts.size() < 3) {
        return ranges;
    }
    const Component& first = parts.front();
    const Component& last = parts.back();
    const std::size_t shortLength = characters(shortened);

    // Where each kept component starts in the full path (its real offset, whatever slashes stand
    // around it) and in the shortened one.
    struct Kept {
        const Component* component;
        std::size_t shortStart;
        bool clipEnd;
    };
    std::vector<Kept> kept{{&first, 0, false}};
    if (parts.size() >= 4) {
        const std::string prefix =
            std::string(first.text) + "/" + std::string(parts[1].text) + std::string(marker);
        if (shortened.substr(0, prefix.size()) == prefix) {
            kept.push_back({&parts[1], first.length + 1, false});
        }
    }
    // Ranges reaching past the end of the path play no part, so the last component keeps them.
    kept.push_back({&last, shortLength - last.length, true});

    TextRanges out;
    for (const TextRange& range : ranges) {
        for (const Kept& k : kept) {
            const std::size_t start = k.component->start;
            const std::size_t end = start + k.component->length;
            const bool inside =
                range.start >= start && (range.end <= end || (k.clipEnd && range.start < end));
            if (inside) {
                const std::size_t shiftedEnd = std::min(range.end, k.clipEnd ? range.end : end);
                out.push_back(
                    TextRange{range.start - start + k.shortStart, shiftedEnd - start + k.shortStart});
                break;
            }
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TextRange& a, const TextRange& b) { return a.start < b.start; });
    return out;
}

} // namespace korvane
