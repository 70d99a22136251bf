#include "detail/detailtextwrap.h"

#include "base/codepointtable.h"
#include "base/graphemescanner.h"
#include "base/unicode.h"
#include "providers/providertext.h"

#include <algorithm>
#include <unicode/uchar.h>

namespace korvane {
namespace {

constexpr std::size_t minimumWidth = 10;
// The length from which a run of characters that stand alone, inside a line of other text, is
// counted without the break rules.
constexpr std::size_t runCutAlone = 8;
// Where the Indic scripts begin (Devanagari).
constexpr std::int32_t firstIndicCodePoint = 0x900;
const std::string filler = " ";

// One scanner per thread: a break iterator is costly to make and a long text has thousands of lines.
GraphemeScanner& scanner() {
    thread_local GraphemeScanner instance;
    return instance;
}

// The characters (grapheme clusters) of a text, found in one walk, so that a long line costs time in
// proportion to its length however it is cut. Where every byte is a character, bytes are counted.
class Characters {
public:
    explicit Characters(std::string_view text)
        : text_(text) {
        if (!isSingleByteClusters(text)) {
            findStarts();
        }
    }

    std::size_t count() const { return starts_.empty() ? text_.size() : starts_.size() - 1; }
    // The characters from `first` up to `last` (not included).
    std::string_view text(std::size_t first, std::size_t last) const {
        return text_.substr(offset(first), offset(last) - offset(first));
    }
    // A space that is a character of its own, not one a combining mark or a prefix joins.
    bool isSpace(std::size_t index) const {
        return starts_.empty() ? text_[index] == ' ' : text(index, index + 1) == " ";
    }

private:
    // What the cluster rules make of a code point, as far as can be told from it alone.
    enum class Kind {
        // A character of its own beside any other such: printable ASCII, a byte that is not UTF-8
        // (read as U+FFFD), or a code point that the rules attach to nothing, as most letters,
        // ideographs and symbols.
        alone,
        // An ASCII control but CR: the same, and not even a mark joins it.
        control,
        // A combining or spacing mark of a script before the Indic ones: it joins the character before
        // it unless that is a control, and no character after it unless a virama came before it. (A
        // virama of the Indic scripts joins the consonants on both sides, so those marks are left to
        // the rules, and so is any character that holds one.)
        mark,
        // Anything else: only the rules tell.
        other,
    };

    void findStarts() {
        // A boundary lies surely between two code points that each stand alone, after a control, and
        // before a code point that stands alone after a character of one such code point (or of a mark
        // after a control) and marks. So a long run of sure boundaries is cut there directly, and only
        // the stretches between such runs go through the break rules, each as a text of its own: a
        // stretch begins and ends at a sure boundary, where the rules start afresh. Short runs stay
        // inside a stretch, so that each walk's cost of starting is spread over many characters.
        starts_.reserve(text_.size() + 1);
        starts_.push_back(0);
        std::size_t first = 0;      // where the characters not found yet begin
        bool joined = false;        // [first, here) holds a place that may not be a boundary
        std::size_t stretchEnd = 0; // the first sure boundary after the last such place, 0 until found
        std::size_t run = 0;        // the sure boundaries from stretchEnd on
        std::size_t offset = 0;
        Kind previous = kindOf(offset);
        // The character read last began at a sure boundary with a code point that stands alone (not a
        // control) or with a mark, and holds nothing but marks after it.
        bool marked = previous == Kind::alone;
        while (offset < text_.size()) {
            const std::size_t here = offset;
            const Kind kind = kindOf(offset);
            const bool sure = (apart(kind) && (apart(previous) || marked)) ||
                              (kind == Kind::mark && previous == Kind::control);
            const bool inside = kind == Kind::mark && marked;
            marked = inside || (sure && kind != Kind::control);
            previous = kind;
            if (inside && !joined) {
                continue;
            }
            if (!sure) {
                joined = true;
                stretchEnd = 0;
            } else if (!joined) {
                starts_.push_back(here);
                first = here;
            } else if (stretchEnd == 0) {
                stretchEnd = here;
                run = 1;
            } else if (++run > runCutAlone) {
                addStretch(first, stretchEnd);
                addCodePointStarts(stretchEnd, here);
                first = here;
                joined = false;
            }
        }
        if (joined) {
            addStretch(first, text_.size());
        } else {
            starts_.push_back(text_.size());
        }
    }

    static bool apart(Kind kind) { return kind == Kind::alone || kind == Kind::control; }

    // The kind of the code point at `offset`, which moves past it.
    Kind kindOf(std::size_t& offset) const {
        const auto lead = static_cast<unsigned char>(text_[offset]);
        if (lead < 0xC2 || lead > 0xF4) {
            // ASCII, or a byte that begins no sequence and so is one malformed code point by itself.
            ++offset;
            if (lead == '\r') {
                return Kind::other;
            }
            return lead < 0x20 || lead == 0x7F ? Kind::control : Kind::alone;
        }
        const std::int32_t codePoint = nextCodePoint(text_, offset);
        if (codePoint < 0) {
            return Kind::alone;
        }
        if (codePoint < static_cast<std::int32_t>(CodePointTable::tableEnd) &&
            table_.traits(static_cast<char32_t>(codePoint)).standsAlone) {
            return Kind::alone;
        }
        const auto rule = u_getIntPropertyValue(codePoint, UCHAR_GRAPHEME_CLUSTER_BREAK);
        if (rule == U_GCB_OTHER && codePoint >= static_cast<std::int32_t>(CodePointTable::tableEnd)) {
            return Kind::alone;
        }
        if ((rule == U_GCB_EXTEND || rule == U_GCB_SPACING_MARK) && codePoint < firstIndicCodePoint) {
            return Kind::mark;
        }
        return Kind::other;
    }

    // Every code point of (from, to] that begins one, each a character of its own.
    void addCodePointStarts(std::size_t from, std::size_t to) {
        while (from < to) {
            nextCodePoint(text_, from);
            starts_.push_back(from);
        }
    }

    void addStretch(std::size_t first, std::size_t last) {
        if (last - first == 1) {
            starts_.push_back(last);
            return;
        }
        GraphemeScanner& walk = scanner();
        walk.start(text_.substr(first, last - first));
        for (std::size_t end = walk.next(); end != GraphemeScanner::npos; end = walk.next()) {
            starts_.push_back(first + end);
        }
    }

    std::size_t offset(std::size_t index) const { return starts_.empty() ? index : starts_[index]; }

    std::string_view text_;
    const CodePointTable& table_ = CodePointTable::shared();
    std::vector<std::size_t> starts_;
};

// Adds the characters [first, last) as lines of `width` characters, the last one holding the rest.
void chunk(const Characters& characters, std::size_t first, std::size_t last, std::size_t width,
           std::vector<std::string>& lines) {
    width = std::max<std::size_t>(width, 1);
    for (; first < last; first += std::min(width, last - first)) {
        lines.emplace_back(characters.text(first, std::min(first + width, last)));
    }
}

// Where the word that starts at `first` ends: at the next lone space or the line's end.
std::size_t wordEnd(const Characters& characters, std::size_t first) {
    const std::size_t count = characters.count();
    while (first < count && !characters.isSpace(first)) {
        ++first;
    }
    return first;
}

// Where the next word begins at or after `index`: past the spaces there.
std::size_t wordStart(const Characters& characters, std::size_t index) {
    const std::size_t count = characters.count();
    while (index < count && characters.isSpace(index)) {
        ++index;
    }
    return index;
}

// Words follow one another in the line, so the display line being filled is always one run of the
// line's characters, [lineFirst, lineEnd): words with the spaces between them as written. Spaces where
// the line breaks end no line and begin none.
void wrapCharacters(const Characters& characters, std::size_t width, std::vector<std::string>& lines) {
    const std::size_t count = characters.count();
    std::size_t first = wordStart(characters, 0);
    if (first == count) {
        // A line of spaces alone still stands for a line of the text.
        lines.push_back(filler);
        return;
    }
    std::size_t lineFirst = 0;
    std::size_t lineEnd = 0;
    const auto place = [&](std::size_t last) {
        if (lineEnd > lineFirst) {
            if (last - lineFirst <= width) {
                lineEnd = last;
                return;
            }
            lines.emplace_back(characters.text(lineFirst, lineEnd));
        }
        if (last - first > width) {
            chunk(characters, first, last, width, lines);
            lineFirst = lineEnd = last;
        } else {
            lineFirst = first;
            lineEnd = last;
        }
    };
    // The indentation stays in front of the first word while both fit; a first word that fits only a
    // line of its own starts the line instead of being cut.
    std::size_t last = wordEnd(characters, first);
    if (last <= width) {
        lineEnd = last;
    } else {
        place(last);
    }
    for (first = wordStart(characters, last); first < count; first = wordStart(characters, last)) {
        last = wordEnd(characters, first);
        place(last);
    }
    if (lineEnd > lineFirst) {
        lines.emplace_back(characters.text(lineFirst, lineEnd));
    }
}

} // namespace

void chunkWord(std::string_view word, std::size_t width, std::vector<std::string>& lines) {
    const Characters characters(word);
    chunk(characters, 0, characters.count(), width, lines);
}

void wrapLine(std::string_view line, std::size_t width, std::vector<std::string>& lines) {
    wrapCharacters(Characters(line), width, lines);
}

std::vector<std::string> wrapText(std::string_view text, int width) {
    if (text.empty()) {
        return {filler};
    }
    const std::size_t columns =
        std::max<std::size_t>(minimumWidth, width > 0 ? static_cast<std::size_t>(width) : 0);
    std::vector<std::string> lines;
    for (std::size_t offset = 0; offset != std::string_view::npos;) {
        const std::string_view line = nextProviderLine(text, offset);
        if (line.empty()) {
            lines.push_back(filler);
            continue;
        }
        // The line's characters are found once, for its length and its wrapping alike.
        const Characters characters(line);
        if (characters.count() <= columns) {
            lines.emplace_back(line);
        } else {
            wrapCharacters(characters, columns, lines);
        }
    }
    if (lines.empty()) {
        return {filler};
    }
    return lines;
}

} // namespace korvane
