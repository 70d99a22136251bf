#include "detail/detailtextwrap.h"

#include "base/graphemescanner.h"
#include "base/unicode.h"
#include "providers/providertext.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::size_t minimumWidth = 10;
const std::string filler = " ";

// One scanner per thread: a break iterator is costly to make and a long text has thousands of lines.
GraphemeScanner& scanner() {
    thread_local GraphemeScanner instance;
    return instance;
}

// Characters of a line, with the common ASCII case counted by bytes (a line holds no "\r\n").
std::size_t characterCount(std::string_view text) {
    return isAscii(text) ? text.size() : scanner().clusterCount(text);
}

// The byte length of the first `count` characters of `text`.
std::size_t prefixBytes(std::string_view text, std::size_t count) {
    if (isAscii(text)) {
        return std::min(count, text.size());
    }
    GraphemeScanner& walk = scanner();
    walk.start(text);
    std::size_t end = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t next = walk.next();
        if (next == GraphemeScanner::npos) {
            break;
        }
        end = next;
    }
    return end;
}

} // namespace

void chunkWord(std::string_view word, std::size_t width, std::vector<std::string>& lines) {
    while (!word.empty()) {
        const std::size_t bytes = std::max<std::size_t>(prefixBytes(word, width), 1);
        lines.emplace_back(word.substr(0, bytes));
        word.remove_prefix(std::min(bytes, word.size()));
    }
}

void wrapLine(std::string_view line, std::size_t width, std::vector<std::string>& lines) {
    std::string current;
    std::size_t currentLength = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t space = line.find(' ', start);
        const std::string_view word =
            line.substr(start, space == std::string_view::npos ? line.size() - start : space - start);
        const std::size_t length = characterCount(word);
        if (current.empty()) {
            if (length <= width) {
                current = word;
                currentLength = length;
            } else {
                chunkWord(word, width, lines);
            }
        } else if (currentLength + 1 + length <= width) {
            current += ' ';
            current += word;
            currentLength += 1 + length;
        } else {
            lines.push_back(std::move(current));
            current.clear();
            currentLength = 0;
            if (length > width) {
                chunkWord(word, width, lines);
            } else {
                current = word;
                currentLength = length;
            }
        }
        if (space == std::string_view::npos) {
            break;
        }
        start = space + 1;
    }
    if (!current.empty()) {
        lines.push_back(std::move(current));
    }
}

std::vector<std::string> wrapText(std::string_view text, int width) {
    if (text.empty()) {
        return {filler};
    }
    const std::size_t columns =
        std::max<std::size_t>(minimumWidth, width > 0 ? static_cast<std::size_t>(width) : 0);
    std::vector<std::string> lines;
    for (const std::string_view line : providerLines(text)) {
        if (line.empty()) {
            lines.push_back(filler);
        } else if (characterCount(line) <= columns) {
            lines.emplace_back(line);
        } else {
            wrapLine(line, columns, lines);
        }
    }
    if (lines.empty()) {
        return {filler};
    }
    return lines;
}

} // namespace korvane
