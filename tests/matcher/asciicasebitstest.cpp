#include "matcher/asciicasebits.h"

#include <gtest/gtest.h>
#include <string>

namespace korvane {
namespace {

std::optional<std::string> roundTrip(std::string_view typed, std::string_view lowered) {
    const auto bits = AsciiCaseBits::between(typed, lowered);
    if (!bits) {
        return std::nullopt;
    }
    AsciiCaseBits::Buffer buffer;
    return std::string(bits->restore(lowered, buffer));
}

TEST(AsciiCaseBitsTest, RestoresUpperCaseAcrossWordsAndRefusesOtherDifferences) {
    EXPECT_EQ(roundTrip("MyHTTPServer.Config", "myhttpserver.config"), "MyHTTPServer.Config");
    EXPECT_EQ(roundTrip("\x80Zz", "\x80zz"), "\x80Zz");
    const std::string longLabel = std::string(63, 'a') + "B" + std::string(63, 'c') + "D";
    EXPECT_EQ(roundTrip(longLabel, std::string(63, 'a') + "b" + std::string(63, 'c') + "d"), longLabel);

    // Only an upper-case ASCII letter over its own lower case may differ.
    EXPECT_EQ(roundTrip("Kex", "key"), std::nullopt);
    EXPECT_EQ(roundTrip("\x80" "ey", "key"), std::nullopt);
    EXPECT_EQ(roundTrip("@", "`"), std::nullopt);
    EXPECT_EQ(roundTrip("Key", "keys"), std::nullopt);
    EXPECT_EQ(roundTrip(std::string(129, 'a'), std::string(129, 'a')), std::nullopt);
}

} // namespace
} // namespace korvane
