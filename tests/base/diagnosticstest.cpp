#include "base/diagnostics.h"

#include "support/logcapture.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(DiagnosticTest, ControlCharactersAndBrokenUtf8AreWrittenAsEscapes) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Added snippet 'a\n[Korvane] forged'", "Added snippet 'a\\n[Korvane] forged'"},
        {"\x1b[2J\x1b]0;title\x07", "\\x1B[2J\\x1B]0;title\\x07"},
        {"cr\rtab\tnul", "cr\\rtab\\tnul"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"del\x7f", "del\\x7F"},
        {"csi \xc2\x9b"
         "31m",
         "csi \\u009B31m"},                         // U+009B, the one-character escape introducer
        {"bad \xff\xfe end", "bad \\xFF\\xFE end"}, // not UTF-8
        {"cut \xe2\x82", "cut \\xE2\\x82"},         // a truncated sequence
        // What reorders or hides the rest of a line: bidirectional controls, zero-width and other
        // format characters, the Unicode line and paragraph separators.
        {"rm \u202Etxt.sh\u2066 \u200B\u200D\uFEFF\u2028\u2029\u061C\U000E0041",
         "rm \\u202Etxt.sh\\u2066 \\u200B\\u200D\\uFEFF\\u2028\\u2029\\u061C\\U000E0041"},
        {"caf\xc3\xa9 \xf0\x9f\x98\x80 \\n \xc2\xa0", "caf\xc3\xa9 \xf0\x9f\x98\x80 \\n \xc2\xa0"}, // kept
    };
    test::LogCapture log;
    for (const auto& [message, written] : cases) {
        log.clear();
        diagnostic(message);
        ASSERT_EQ(log.lines().size(), 1u);
        EXPECT_EQ(log.lines()[0], "[Korvane] " + written) << written;
    }
}

// Journal lines name folders and paths from projects too.
TEST(DiagnosticTest, JournalLinesAreEscapedAsWell) {
    test::LogCapture log;
    performanceLog("Files.Performance", "root=/src/\u202Eevil\nforged");
    errorLog("Files", "root=\x1b[2J");
    ASSERT_EQ(log.performanceLines().size(), 2u);
    EXPECT_EQ(log.performanceLines()[0].message, "root=/src/\\u202Eevil\\nforged");
    EXPECT_EQ(log.performanceLines()[1].message, "root=\\x1B[2J");
}

TEST(DiagnosticTest, StandardOutputGetsOneEscapedLine) {
    testing::internal::CaptureStdout();
    diagnostic("key\n[Korvane] forged\x1b[31m");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Korvane] key\\n[Korvane] forged\\x1B[31m\n");
}

} // namespace
} // namespace korvane
