#include "base/visibletext.h"

#include "base/unicode.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unicode/uchar.h>

namespace korvane {
namespace {

constexpr std::int32_t lineFeed = 0x0A;
constexpr std::int32_t carriageReturn = 0x0D;
// What a line feed ends its shown line with.
constexpr const char* lineFeedSign = "↵";
// More combining marks than this on one character are written out: stacked, they draw over the
// lines around them.
constexpr std::size_t shownMarksInARow = 2;
// A longer run of spaces is counted instead, so that it cannot push the rest of a line out of sight.
constexpr std::size_t shownSpacesInARow = 16;

// One character of the text as it is shown.
struct Piece {
    std::string shown;
    std::size_t width = 0;
    bool endsLine = false;
    // The characters of the text it stands for (a byte that is not UTF-8 counting as one).
    std::size_t characters = 1;
};

// "<U+202E>" for a code point, "<0xFF>" for a byte that is not UTF-8.
std::string escape(const char* format, unsigned value) {
    char shown[16];
    const int length = std::snprintf(shown, sizeof shown, format, value);
    return std::string(shown, static_cast<std::size_t>(length));
}

Piece escaped(std::int32_t codePoint, bool endsLine = false) {
    std::string shown = escape("<U+%04X>", static_cast<unsigned>(codePoint));
    const std::size_t width = shown.size();
    return Piece{std::move(shown), width, endsLine};
}

bool isLineBreak(std::int32_t codePoint) {
    return (codePoint >= lineFeed && codePoint <= carriageReturn) || codePoint == 0x85 ||
           codePoint == 0x2028 || codePoint == 0x2029;
}

// Characters that draw nothing, or not what they are: controls, private and unassigned code points,
// spaces other than U+0020 and everything that reorders or hides the text around it.
bool isHidden(std::int32_t codePoint) {
    switch (u_charType(codePoint)) {
    case U_CONTROL_CHAR:
    case U_PRIVATE_USE_CHAR:
    case U_SURROGATE:
    case U_UNASSIGNED:
        return true;
    case U_SPACE_SEPARATOR:
        return codePoint != ' ';
    default:
        return reordersOrHidesText(codePoint);
    }
}

bool isMark(std::int32_t codePoint) {
    const auto type = u_charType(codePoint);
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK;
}

// Reads a text one shown character at a time.
class PieceReader {
public:
    explicit PieceReader(std::string_view text)
        : text_(text) {}

    bool atEnd() const { return offset_ >= text_.size(); }

    Piece next() {
        const std::size_t start = offset_;
        const std::int32_t codePoint = nextCodePoint(text_, offset_);
        marks_ = codePoint >= 0 && isMark(codePoint) ? marks_ + 1 : 0;
        if (codePoint < 0) {
            Piece piece;
            for (std::size_t i = start; i < offset_; ++i) {
                piece.shown += escape("<0x%02X>", static_cast<unsigned char>(text_[i]));
            }
            piece.width = piece.shown.size();
            piece.characters = offset_ - start;
            return piece;
        }
        if (codePoint == lineFeed) {
            return Piece{lineFeedSign, 1, true};
        }
        if (codePoint == ' ') {
            const std::size_t run = std::min(text_.find_first_not_of(' ', start), text_.size()) - start;
            if (run > shownSpacesInARow) {
                offset_ = start + run;
                std::string shown = "<" + std::to_string(run) + " spaces>";
                const std::size_t width = shown.size();
                return Piece{std::move(shown), width, false, run};
            }
        }
        if (codePoint == carriageReturn && offset_ < text_.size() && text_[offset_] == '\n') {
            ++offset_;
            Piece piece = escaped(codePoint, true);
            piece.shown += lineFeedSign;
            piece.width += 1;
            piece.characters = 2;
            return piece;
        }
        if (isHidden(codePoint) || marks_ > shownMarksInARow) {
            return escaped(codePoint, isLineBreak(codePoint));
        }
        return Piece{std::string(text_.substr(start, offset_ - start)), 1, false};
    }

private:
    std::string_view text_;
    std::size_t offset_ = 0;
    std::size_t marks_ = 0;
};

struct Layout {
    std::vector<std::string> lines;
    std::size_t hiddenCharacters = 0;
    std::size_t hiddenLineBreaks = 0;
};

Layout layOut(std::string_view text, VisibleText::Limits limits, bool breaksEndLines) {
    Layout layout;
    std::string current;
    std::size_t currentWidth = 0;
    // The end of the line's last space, and the width and characters of the word begun after it.
    std::size_t afterSpace = 0;
    std::size_t wordWidth = 0;
    std::size_t wordCharacters = 0;
    const auto full = [&] { return layout.lines.size() >= limits.lines; };
    const auto endLine = [&] {
        layout.lines.push_back(std::move(current));
        current.clear();
        currentWidth = 0;
        afterSpace = 0;
        wordWidth = 0;
        wordCharacters = 0;
    };
    // Ends the line after its last space and begins the next with the word that followed it.
    const auto endLineBetweenWords = [&] {
        std::string word = current.substr(afterSpace);
        const std::size_t width = wordWidth;
        const std::size_t characters = wordCharacters;
        current.resize(afterSpace);
        endLine();
        if (full()) {
            layout.hiddenCharacters += characters;
            return;
        }
        current = std::move(word);
        currentWidth = wordWidth = width;
        wordCharacters = characters;
    };
    for (PieceReader reader(text); !reader.atEnd();) {
        Piece piece = reader.next();
        if (!full() && limits.betweenWords && afterSpace > 0 && currentWidth + piece.width > limits.width) {
            endLineBetweenWords();
        }
        if (!full() && currentWidth > 0 && currentWidth + piece.width > limits.width) {
            endLine();
        }
        if (full()) {
            layout.hiddenCharacters += piece.characters;
            layout.hiddenLineBreaks += piece.endsLine ? 1 : 0;
            continue;
        }
        current += piece.shown;
        currentWidth += piece.width;
        wordWidth += piece.width;
        wordCharacters += piece.characters;
        if (piece.shown == " ") {
            afterSpace = current.size();
            wordWidth = 0;
            wordCharacters = 0;
        }
        if (piece.endsLine && breaksEndLines) {
            endLine();
        }
    }
    if (!current.empty() || layout.lines.empty()) {
        layout.lines.push_back(std::move(current));
    }
    return layout;
}

std::string omissionNote(const Layout& layout) {
    std::string note = "… " + std::to_string(layout.hiddenCharacters) + " more character" +
                       (layout.hiddenCharacters == 1 ? "" : "s");
    if (layout.hiddenLineBreaks > 0) {
        note += ", " + std::to_string(layout.hiddenLineBreaks) + " of them line break" +
                (layout.hiddenLineBreaks == 1 ? "" : "s") + ",";
    }
    return note + " not shown";
}

} // namespace

std::vector<std::string> VisibleText::lines(std::string_view text, Limits limits) {
    Layout layout = layOut(text, limits, true);
    if (layout.hiddenCharacters > 0) {
        layout.lines.push_back(omissionNote(layout));
    }
    return std::move(layout.lines);
}

std::vector<std::string> VisibleText::lines(std::string_view text, std::size_t width) {
    return std::move(layOut(text, Limits{std::numeric_limits<std::size_t>::max(), width}, true).lines);
}

std::string VisibleText::line(std::string_view text) {
    return std::move(layOut(text, Limits{1, std::numeric_limits<std::size_t>::max()}, false).lines.front());
}

std::string VisibleText::line(std::string_view text, std::size_t width) {
    const Layout layout = layOut(text, Limits{1, width}, false);
    return layout.hiddenCharacters > 0 ? layout.lines.front() + " " + omissionNote(layout)
                                       : layout.lines.front();
}

} // namespace korvane
