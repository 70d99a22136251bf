#include "detail/detailtextwrap.h"

#include "base/graphemescanner.h"
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

// The wrapping rules applied word by word to lists of characters: slow, and plainly right. Words are
// split at characters that are a lone space; a wrapped line's leading spaces stay with its first word.
Lines referenceWrap(std::string_view text, int width) {
    const std::size_t columns = static_cast<std::size_t>(std::max(10, width));
    Lines lines;
    for (const std::string_view line : providerLines(text)) {
        const Characters characters = charactersOf(line);
        if (characters.empty() || characters.size() <= columns) {
            lines.emplace_back(characters.empty() ? " " : std::string(line));
            continue;
        }
        std::vector<Characters> words(1);
        for (const auto& character : characters) {
            if (character == " ") {
                words.emplace_back();
            } else {
                words.back().push_back(character);
            }
        }
        const auto first = std::find_if(words.begin(), words.end(), [](const auto& w) { return !w.empty(); });
        if (first == words.end()) {
            continue;
        }
        first->insert(first->begin(), static_cast<std::size_t>(first - words.begin()), " ");
        words.erase(words.begin(), first);
        Characters current;
        const auto chunk = [&](const Characters& word) {
            for (std::size_t i = 0; i < word.size(); i += columns) {
                lines.push_back(joined(word.begin() + i, word.begin() + std::min(i + columns, word.size())));
            }
        };
        for (const auto& word : words) {
            if (!current.empty() && current.size() + 1 + word.size() <= columns) {
                current.push_back(" ");
                current.insert(current.end(), word.begin(), word.end());
                continue;
            }
            if (!current.empty()) {
                lines.push_back(joined(current.begin(), current.end()));
            }
            current.clear();
            if (word.size() > columns) {
                chunk(word);
            } else {
                current = word;
            }
        }
        if (!current.empty()) {
            lines.push_back(joined(current.begin(), current.end()));
        }
    }
    return lines.empty() ? Lines{" "} : lines;
}

TEST(DetailTextWrapTest, AWrappedLineKeepsItsIndentationAndNoCharacterIsSplit) {
    const std::string acute = "\xCC\x81"; // a combining mark: with a space before it, one character
    EXPECT_EQ(wrapText(" aaaaaaaaaa bb", 10), (Lines{" aaaaaaaaa", "a", "bb"}));
    EXPECT_EQ(wrapText("   foo bar baz", 10), (Lines{"   foo bar", "baz"}));
    EXPECT_EQ(wrapText("aaaa " + acute + "bbbbbbbb", 10), (Lines{"aaaa " + acute + "bbbbb", "bbb"}));
}

TEST(DetailTextWrapTest, RandomTextsWrapAsTheWordByWordRules) {
    // Letters and spaces, a combining acute, a CJK character, an emoji ZWJ sequence, a prefix that
    // joins what follows, line breaks, and an ASCII run longer than those counted by bytes.
    // clang-format off
    const std::vector<std::string> pieces = {
        "a", "b", "c", "d", " ", " ", " ", "  ", "\xCC\x81", "\xE6\xBC\xA2",
        "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", "\xD8\x80", "\n", "\r\n",
        "an_ASCII_run_longer_than_32_characters abc"};
    // clang-format on
    std::mt19937 random(43);
    for (int round = 0; round < 1000; ++round) {
        std::string text(std::uniform_int_distribution<int>(0, 3)(random), ' ');
        const int length = std::uniform_int_distribution<int>(0, 60)(random);
        for (int i = 0; i < length; ++i) {
            text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        }
        const int width = std::uniform_int_distribution<int>(0, 24)(random);
        ASSERT_EQ(wrapText(text, width), referenceWrap(text, width))
            << testing::PrintToString(text) << " at " << width;
    }
}

} // namespace
} // namespace korvane
