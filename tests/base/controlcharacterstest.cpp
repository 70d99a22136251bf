#include "base/controlcharacters.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

// What is a line break, and which names are refused for a bidirectional control: the nine embeddings,
// overrides and isolates, and not their neighbours or the marks that right-to-left text uses alone.
TEST(ControlCharactersTest, TellsLineBreaksAndBidirectionalControls) {
    struct Case {
        std::string text;
        bool lineBreak;
        bool refusedAsName;
    };
    const std::vector<Case> cases = {
        {"plain name", false, false},
        {"tab\tname", false, true},
        {"echo a\ntouch b", true, true},
        {"a\rb", true, true},
        {"a\vb", true, true},
        {"a\fb", true, true},
        {"next\xc2\x85line", true, true},
        {"line\u2028sep", true, true},
        {"para\u2029sep", true, true},
        {"esc\x1b[201~", false, true},
        {"ls \u202Etxt.exe", false, true},
        {"\u202A\u202B\u202C\u202D", false, true},
        {"iso\u2066late\u2069", false, true},
        {"\u2067x", false, true},
        {"\u2068x", false, true},
        {"\u202F\u2065\u206A", false, false},
        {"\u05E9\u05DC\u05D5\u05DD \u200F\u200E\u061C", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ControlCharacters::holdsLineBreak(c.text), c.lineBreak) << c.text;
        EXPECT_EQ(ControlCharacters::holdsControlOrLineBreak(c.text), c.refusedAsName) << c.text;
    }
}

TEST(ControlCharactersTest, RemovesBidirectionalControlsAndKeepsEverythingElse) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ls \u202Etxt.exe", "ls txt.exe"},
        {"\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069", ""},
        {"a\u2069\xff\u2066b\n\u2028", "a\xff"
                                       "b\n\u2028"},
        {"\u05E9\u05DC\u05D5\u05DD \u200F\u202F\u2065\u206A",
         "\u05E9\u05DC\u05D5\u05DD \u200F\u202F\u2065\u206A"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ControlCharacters::withoutBidiControls(text), expected) << text;
    }
}

} // namespace
} // namespace korvane
