#include "detail/detailtextwrap.h"

#include "base/graphemescanner.h"
#include "base/unicode.h"
#include "providers/providertext.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace korvane {
namespace {

using Lines = std::vector<std::string>;
using Characters = std::vector<std::string>;

Characters charactersOf(std::string_view text) {
    Characters characters;
    static GraphemeScanner walk;
    walk.start(text);
    std::size_t start = 0;
    for (std::size_t end = walk.next(); end != GraphemeScanner::npos; start = end, end = walk.next()) {
        characters.emplace_back(text.substr(start, end - start));
    }
    return characters;
}

std::string joined(Characters::const_iterator first, Characters::const_iterator last) {
    std::string text;
    for (; first != last; ++first) {
        text += *first;
    }
    return text;
}

// The lines of `text` as a walk by code points finds them: every line break code point ends one.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t lineStart = 0;
    for (std::size_t offset = 0; offset < text.size();) {
        const std::size_t start = offset;
        if (isProviderLineBreak(static_cast<char32_t>(nextCodePoint(text, offset)))) {
            lines.push_back(text.substr(lineStart, start - lineStart));
            lineStart = offset;
        }
    }
    lines.push_back(text.substr(lineStart));
    return lines;
}

// The wrapping rules applied word by word to lists of characters: slow, and plainly right. Words are
// runs of characters other than a lone space. The first word keeps the line's indentation when both
// fit; a word joins the display line with the spaces before it when all fit, and otherwise those
// spaces vanish and the word begins the next one, cut when longer than the width.
Lines referenceWrap(std::string_view text, int width) {
    const std::size_t columns = static_cast<std::size_t>(std::max(10, width));
    Lines lines;
    for (const std::string_view line : linesOf(text)) {
        const Characters characters = charactersOf(line);
        if (characters.empty() || characters.size() <= columns) {
            lines.emplace_back(characters.empty() ? " " : std::string(line));
            continue;
        }
        const auto isSpace = [](const std::string& character) { return character == " "; };
        Characters current;
        const auto flush = [&] {
            if (!current.empty()) {
                lines.push_back(joined(current.begin(), current.end()));
            }
            current.clear();
        };
        auto wordFirst = std::find_if_not(characters.begin(), characters.end(), isSpace);
        if (wordFirst == characters.end()) {
            lines.emplace_back(" ");
            continue;
        }
        for (auto gapFirst = characters.begin(); wordFirst != characters.end();) {
            const auto wordLast = std::find_if(wordFirst, characters.end(), isSpace);
            const Characters word(wordFirst, wordLast);
            const Characters gap(gapFirst, wordFirst);
            const bool firstWord = gapFirst == characters.begin();
            if ((!current.empty() || firstWord) && current.size() + gap.size() + word.size() <= columns) {
                current.insert(current.end(), gap.begin(), gap.end());
                current.insert(current.end(), word.begin(), word.end());
            } else {
                flush();
                for (std::size_t i = 0; i < word.size(); i += columns) {
                    current.assign(word.begin() + i, word.begin() + std::min(i + columns, word.size()));
                    if (word.size() > columns) {
                        flush();
                    }
                }
            }
            gapFirst = wordLast;
            wordFirst = std::find_if_not(wordLast, characters.end(), isSpace);
        }
        flush();
    }
    return lines.empty() ? Lines{" "} : lines;
}

TEST(DetailTextWrapTest, AWrappedLineKeepsItsIndentationAndNoCharacterIsSplit) {
    const std::string acute = "\xCC\x81"; // a combining mark: with a space before it, one character
    EXPECT_EQ(wrapText(" aaaaaaaaaa bb", 10), (Lines{"aaaaaaaaaa", "bb"}));
    EXPECT_EQ(wrapText("   foo bar baz", 10), (Lines{"   foo bar", "baz"}));
    EXPECT_EQ(wrapText("aaaa " + acute + "bbbbbbbb", 10), (Lines{"aaaa " + acute + "bbbbb", "bbb"}));
}

TEST(DetailTextWrapTest, BlankLinesStayAndIndentedWordsAreNotCut) {
    struct Case {
        std::string text;
        Lines lines;
    } cases[] = {
        {"a\n" + std::string(20, ' ') + "\nb", {"a", " ", "b"}},
        {std::string(11, ' ') + "\r\n" + std::string(10, ' '), {" ", " ", std::string(10, ' ')}},
        {"    aaaaaaaa bbbbbbbbb", {"aaaaaaaa", "bbbbbbbbb"}},
        {"  " + std::string(12, 'x'), {std::string(10, 'x'), "xx"}},
        {"aaaaaaaa   bbbbb", {"aaaaaaaa", "bbbbb"}},
        {"aa" + std::string(12, ' ') + "bb", {"aa", "bb"}},
        {"aaaa bbbb cccc   ", {"aaaa bbbb", "cccc"}},
        {"ab  cd  ef  gh", {"ab  cd  ef", "gh"}},
        {std::string(12, 'x') + "  yy", {std::string(10, 'x'), "xx", "yy"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wrapText(c.text, 10), c.lines) << testing::PrintToString(c.text);
        EXPECT_EQ(referenceWrap(c.text, 10), c.lines) << testing::PrintToString(c.text);
    }
}

TEST(DetailTextWrapTest, RandomTextsWrapAsTheWordByWordRules) {
    // Letters and spaces, words about as long as the width, runs of spaces wider than it; characters
    // that join a neighbour (a combining acute, an emoji ZWJ sequence, a prefix, Hangul jamo, a
    // regional indicator, a spacing mark, a virama, a soft hyphen, a Hebrew point, a letter with two
    // marks, a control before a mark) and runs of ones that stand alone (ASCII, accented letters, CJK,
    // bytes that are not UTF-8); every kind of line break, indented and empty lines; malformed and cut
    // UTF-8.
    // clang-format off
    const std::vector<std::string> pieces = {
        "a", "b", "c", "d", " ", " ", " ", "  ", "     ", std::string(13, ' '), "abcdefgh", "abcdefghij",
        "\xCC\x81", "\xE6\xBC\xA2", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", "\xD8\x80",
        "\xE1\x84\x80", "\xE1\x85\xA1", "\xF0\x9F\x87\xAB", "\xE0\xA4\x83", "\xE0\xA4\x95\xE0\xA5\x8D",
        "\xC2\xAD", "\xC2\xA0", "\x01", "\t", "\xD6\xB0", "e\xCC\x81\xCC\xA3",
        "an_ASCII_run_longer_than_32_characters abc", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
        "\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2",
        "\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9\xE9",
        "\n", "\r\n", "\r", "\v", "\f", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9", "\n    ", "\n\n",
        "\xE9", "\x80", "\xFF", "\xC3", "\xF0\x9F", "\xE2\x80", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80"};
    // clang-format on
    std::mt19937 random(43);
    for (int round = 0; round < 1500; ++round) {
        std::string text(std::uniform_int_distribution<int>(0, 3)(random), ' ');
        const int length = std::uniform_int_distribution<int>(0, 60)(random);
        for (int i = 0; i < length; ++i) {
            text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        }
        const int width = std::uniform_int_distribution<int>(0, 24)(random);
        ASSERT_EQ(wrapText(text, width), referenceWrap(text, width))
            << testing::PrintToString(text) << " at " << width;
    }
    // Raw bytes, as a binary file shows, mostly not UTF-8.
    for (int round = 0; round < 500; ++round) {
        std::string text(std::uniform_int_distribution<std::size_t>(0, 80)(random), ' ');
        for (char& byte : text) {
            byte = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random));
        }
        ASSERT_EQ(wrapText(text, 10), referenceWrap(text, 10)) << testing::PrintToString(text);
    }
}

} // namespace
} // namespace korvane
