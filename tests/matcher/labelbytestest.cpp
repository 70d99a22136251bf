#include "matcher/labelbytes.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <utility>

namespace korvane {
namespace {

TEST(LabelBytesTest, KeepsItsBytesAcrossCopiesMovesAndTheInlineLimit) {
    const std::string atLimit(LabelBytes::inlineCapacity, 'a');
    const std::string pastLimit(LabelBytes::inlineCapacity + 1, 'b');
    for (const std::string& text : {std::string(), std::string("src/main.c"), atLimit, pastLimit}) {
        SCOPED_TRACE(text.size());
        LabelBytes bytes(text);
        EXPECT_EQ(bytes, text);
        EXPECT_EQ(bytes.size(), text.size());

        LabelBytes copy = bytes;
        LabelBytes moved = std::move(bytes);
        EXPECT_EQ(copy, text);
        EXPECT_EQ(moved, text);
        EXPECT_TRUE(bytes.empty());

        copy = copy;
        EXPECT_EQ(copy, text);
        moved = std::move(copy);
        EXPECT_EQ(moved, text);

        // Switching between inline and heap storage in both directions.
        moved = pastLimit;
        EXPECT_EQ(moved, pastLimit);
        moved = "short";
        EXPECT_EQ(moved, "short");
        moved.clear();
        EXPECT_TRUE(moved.empty());
    }
}

TEST(LabelBytesTest, AssignsFromItsOwnBytes) {
    LabelBytes bytes(std::string(200, 'x') + "tail");
    bytes = bytes.view().substr(199);
    EXPECT_EQ(bytes, "xtail");
    bytes = bytes.view().substr(1);
    EXPECT_EQ(bytes, "tail");
}

TEST(LabelBytesTest, ReadsLikeAString) {
    const LabelBytes bytes("key.json");
    const std::string asString = bytes;
    const std::string_view asView = bytes;
    EXPECT_EQ(asString, "key.json");
    EXPECT_EQ(asView, "key.json");
    EXPECT_EQ(bytes.front(), 'k');
    EXPECT_EQ(bytes.back(), 'n');
    EXPECT_EQ(bytes[3], '.');
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "key.json");
    EXPECT_EQ(bytes, LabelBytes(std::string("key.json")));
    EXPECT_FALSE(bytes == "key");
    std::ostringstream printed;
    printed << bytes;
    EXPECT_EQ(printed.str(), "key.json");
}

} // namespace
} // namespace korvane
