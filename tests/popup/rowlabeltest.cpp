#include "popup/rowlabel.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(RowLabelTest, HighlightRunsCountUserPerceivedCharacters) {
    struct Case {
        const char* text;
        TextRanges ranges;
        std::vector<LabelRun> runs;
    } cases[] = {
        {"deploy", {}, {{"deploy", false}}},
        {"deploy", {{0, 6}}, {{"deploy", true}}},
        {"deploy", {{0, 2}, {2, 3}, {1, 2}}, {{"dep", true}, {"loy", false}}},
        {"deploy", {{4, 40}}, {{"depl", false}, {"oy", true}}},
        {"deploy", {{3, 3}}, {{"deploy", false}}},
        // "é" written as e and a combining accent is one character.
        {"cafe\xcc\x81 bar",
         {{3, 4}, {5, 6}},
         {{"caf", false}, {"e\xcc\x81", true}, {" ", false}, {"b", true}, {"ar", false}}},
        // A family emoji is one character of several code points.
        {"\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7 team",
         {{0, 1}, {2, 3}},
         {{"\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7", true},
          {" ", false},
          {"t", true},
          {"eam", false}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RowLabel::highlightRuns(c.text, c.ranges), c.runs) << c.text;
    }
}

TEST(RowLabelTest, ShortenPathKeepsFirstSecondAndLastWhenTheyFit) {
    struct Case {
        const char* path;
        const char* shortened;
    } cases[] = {
        {"packages/app/src/features/settings/panels/General.tsx", "packages/app/.../General.tsx"},
        {"src/components/forms/inputs/TextFieldWithValidation.tsx", "src/.../TextFieldWithValidation.tsx"},
        {"src/short/path.txt", "src/short/path.txt"},
        {"averyveryveryverylongdirectoryname/anotherlongname.txt",
         "averyveryveryverylongdirectoryname/anotherlongname.txt"},
        {"averyveryveryverylongdirectoryname/x/anotherveryveryverylongname.txt",
         "averyveryveryverylongdirectoryname/x/anotherveryveryverylongname.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RowLabel::shortenPath(c.path), c.shortened) << c.path;
    }
}

TEST(RowLabelTest, RemapRangesFollowsTheComponentsRealOffsets) {
    struct Case {
        const char* full;
        TextRanges ranges;
        TextRanges remapped;
    } cases[] = {
        // The plain path: first and second stay, a dropped middle match goes, the last shifts.
        {"packages/app/src/features/settings/panels/General.tsx",
         {{42, 49}, {13, 16}, {9, 12}, {0, 3}},
         {{0, 3}, {9, 12}, {17, 24}}},
        // A match across a separator is dropped.
        {"packages/app/src/features/settings/panels/General.tsx", {{7, 10}}, {}},
        // A leading slash: every component starts one later in the full path than in the short one.
        {"/packages/app/src/features/settings/panels/General.tsx",
         {{1, 4}, {10, 13}, {43, 50}},
         {{0, 3}, {9, 12}, {17, 24}}},
        // A leading slash must not let the slash itself count as part of the first component.
        {"/packages/app/src/features/settings/panels/General.tsx", {{0, 1}}, {}},
        // Doubled slashes in the middle.
        {"packages//app//src/features/settings/panels/General.tsx",
         {{10, 13}, {44, 51}},
         {{9, 12}, {17, 24}}},
        // A trailing slash: the last component ends before it.
        {"packages/app/src/features/settings/panels/General.tsx/", {{42, 49}}, {{17, 24}}},
    };
    for (const auto& c : cases) {
        const std::string shortened = RowLabel::shortenPath(c.full);
        EXPECT_EQ(RowLabel::remapRanges(c.full, shortened, c.ranges), c.remapped)
            << c.full << " -> " << shortened;
    }
}

} // namespace
} // namespace korvane
