#include "registry/usagehistory.h"

#include "registry/isodate.h"

#include <gtest/gtest.h>
#include <limits>

namespace korvane {
namespace {

WallSeconds at(std::int64_t secondsSinceEpoch) {
    return WallSeconds(std::chrono::seconds(secondsSinceEpoch));
}

constexpr std::int64_t kJan2 = 1767323045; // 2026-01-02T03:04:05Z

TEST(UsageHistoryTest, WritesSortedPrettyTextWithIdsVerbatim) {
    UsageHistory history;
    history.entries["manual:sig"] = {2, at(kJan2)};
    history.entries["file:Src/Foo_Bar.c"] = {1, at(kJan2 + 86400)};

    EXPECT_EQ(history.encode().value(), R"({
  "entries": {
    "file:Src/Foo_Bar.c": {
      "count": 1,
      "last_used": "2026-01-03T03:04:05Z"
    },
    "manual:sig": {
      "count": 2,
      "last_used": "2026-01-02T03:04:05Z"
    }
  },
  "version": 1
}
)");
}

TEST(UsageHistoryTest, RoundTripsIdsVersionAndExtremeCounts) {
    UsageHistory history;
    history.version = 7;
    history.entries["manual:my_snippet"] = {3, at(kJan2)};
    history.entries["file:Src/Foo_Bar.c"] = {std::numeric_limits<std::int64_t>::max(), at(0)};
    history.entries["git:remote:origin"] = {-4, at(-86400)};
    history.entries["aidoc:Ünïcode ✓"] = {1, at(kJan2)};

    const auto decoded = UsageHistory::decode(history.encode().value());
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(*decoded, history);
}

TEST(UsageHistoryTest, LeavesOutIdsThatAreNotUtf8InsteadOfFailing) {
    UsageHistory history;
    history.entries["file:ok"] = {1, at(kJan2)};
    history.entries["file:bad\xff"] = {1, at(kJan2)};

    const auto decoded = UsageHistory::decode(history.encode().value());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->entries.size(), 1u);
    EXPECT_TRUE(decoded->entries.count("file:ok"));
}

TEST(UsageHistoryTest, DecodesAcceptableFiles) {
    const auto decoded = UsageHistory::decode(R"({"version": 7, "extra": true, "entries": {
        "A:B/c": {"count": 4, "last_used": "2026-01-02T05:04:05+02:00", "note": 1}}})");
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded->version, 7);
    EXPECT_EQ(decoded->entries.at("A:B/c"), (UsageEntry{4, at(kJan2)}));
}

TEST(UsageHistoryTest, RefusesMalformedFiles) {
    const char* const cases[] = {
        "",
        "[]",
        R"({"entries": {}})",
        R"({"version": 1})",
        R"({"version": null, "entries": {}})",
        R"({"version": "1", "entries": {}})",
        R"({"version": 1.5, "entries": {}})",
        R"({"version": 1, "entries": []})",
        R"({"version": 1, "entries": {"a": 3}})",
        R"({"version": 1, "entries": {"a": {"count": 1}}})",
        R"({"version": 1, "entries": {"a": {"last_used": "2026-01-02T03:04:05Z"}}})",
        R"({"version": 1, "entries": {"a": {"count": "1", "last_used": "2026-01-02T03:04:05Z"}}})",
        R"({"version": 1, "entries": {"a": {"count": 1.5, "last_used": "2026-01-02T03:04:05Z"}}})",
        R"({"version": 1, "entries": {"a": {"count": 1, "last_used": 1767323045}}})",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(UsageHistory::decode(text)) << text;
    }
    const std::string deep =
        R"({"version": 1, "entries": {}, "x": )" + std::string(100, '[') + std::string(100, ']') + "}";
    EXPECT_FALSE(UsageHistory::decode(deep));
}

TEST(UsageHistoryTest, DatesAtTheEndsOfTheCalendarSurviveARoundTrip) {
    // Zone offsets push the first two out of the years 0000 to 9999; the third cannot be read at
    // all and costs its own entry only.
    const auto decoded = UsageHistory::decode(R"({"version": 1, "entries": {
        "late": {"count": 2, "last_used": "9999-12-31T23:30:00-01:00"},
        "early": {"count": 3, "last_used": "0000-01-01T00:30:00+01:00"},
        "odd": {"count": 4, "last_used": "2026-02-30T00:00:00Z"},
        "fine": {"count": 5, "last_used": "2026-01-02T03:04:05Z"}}})");
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_EQ(decoded->entries.size(), 3u);
    const std::string text = decoded->encode().value();
    EXPECT_NE(text.find(R"("last_used": "9999-12-31T23:59:59Z")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("last_used": "0000-01-01T00:00:00Z")"), std::string::npos) << text;
    const auto reread = UsageHistory::decode(text);
    ASSERT_TRUE(reread) << reread.error();
    EXPECT_EQ(reread->entries.size(), 3u);
    EXPECT_EQ(reread->entries.at("fine"), (UsageEntry{5, at(kJan2)}));
}

TEST(IsoDateTest, RefusesAnythingButWholeSecondDateTimes) {
    const char* const cases[] = {
        "2026-01-02T03:04:05",      "2026-01-02 03:04:05Z",      "2026-01-02t03:04:05z",
        "2026-01-02T03:04:05.0Z",   "2026-02-30T00:00:00Z",      "2026-13-01T00:00:00Z",
        "2026-01-02T24:00:00Z",     "2026-01-02T03:60:00Z",      "2026-01-02T03:04:60Z",
        "2026-01-02T03:04:05+0200", "2026-01-02T03:04:05+24:00", "26-01-02T03:04:05Z",
        "2026-01-02T03:04:05Z ",    "+2026-01-02T03:04:05Z",
    };
    for (const char* text : cases) {
        EXPECT_FALSE(parseIsoDate(text)) << text;
    }
    EXPECT_EQ(parseIsoDate("2024-02-29T23:59:59Z"), at(1709251199));
    EXPECT_EQ(parseIsoDate("1969-12-31T23:59:59Z"), at(-1));
    EXPECT_EQ(parseIsoDate("2026-01-02T00:04:05-03:00"), at(kJan2));
}

TEST(IsoDateTest, FormatsWholeSecondsAndKeepsEveryYear) {
    EXPECT_EQ(formatIsoDate(Clock::WallTime(at(-1)) + std::chrono::milliseconds(500)),
              "1969-12-31T23:59:59Z");
    EXPECT_EQ(formatIsoDate(Clock::WallTime(at(kJan2)) + std::chrono::milliseconds(999)),
              "2026-01-02T03:04:05Z");

    // Years a Clock::WallTime cannot hold (before 1677, after 2262) are read and written unchanged.
    for (const char* text : {"0000-01-01T00:00:00Z", "0001-01-01T00:00:00Z", "1677-09-21T00:12:43Z",
                             "2262-04-11T23:47:17Z", "9999-12-31T23:59:59Z"}) {
        const auto date = parseIsoDate(text);
        ASSERT_TRUE(date) << text;
        EXPECT_EQ(formatIsoDate(*date), text);
    }
    EXPECT_EQ(parseIsoDate("0001-01-01T01:00:00+01:00"), parseIsoDate("0001-01-01T00:00:00Z"));
    EXPECT_LT(*parseIsoDate("0001-01-01T00:00:00Z"), *parseIsoDate("0001-01-01T00:00:01Z"));

    const std::string file = R"({
  "entries": {
    "ancient": {
      "count": 2,
      "last_used": "0001-01-01T00:00:00Z"
    },
    "far": {
      "count": 1,
      "last_used": "9999-12-31T23:59:59Z"
    }
  },
  "version": 1
}
)";
    EXPECT_EQ(UsageHistory::decode(file).value().encode().value(), file);
}

TEST(UsageHistoryTest, EncodedEntriesStayWithinTheirSizeBound) {
    const std::string ids[] = {
        "",
        "manual:sig",
        "file:Src/Foo Bar.c",
        std::string("ctl:\x01\x1f\x7f\b\f\n\r\t", 12),
        R"(quote:"\"\)",
        "aidoc:Ünïcode ✓ 日本語",
        std::string(5000, '\x02'),
    };
    const std::int64_t counts[] = {0, std::numeric_limits<std::int64_t>::min(),
                                   std::numeric_limits<std::int64_t>::max()};
    const UsageHistory empty;
    const auto overhead = empty.encode().value().size();
    EXPECT_LE(overhead, kEncodedHistoryOverhead);
    for (const auto& id : ids) {
        for (const auto count : counts) {
            UsageHistory history;
            history.entries[id] = {count, at(253402300799)}; // 9999-12-31T23:59:59Z
            const auto size = history.encode().value().size();
            EXPECT_LE(size - overhead, encodedEntrySizeBound(id)) << id.size() << " " << count;
        }
    }
}

TEST(UsageHistoryTest, MergeAddsCountsKeepsLaterDateAndSaturates) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    UsageHistory loaded;
    loaded.entries["a"] = {5, at(kJan2)};
    loaded.entries["big"] = {kMax - 1, at(kJan2 + 10)};
    UsageHistory early;
    early.entries["a"] = {2, at(kJan2 + 60)};
    early.entries["big"] = {3, at(kJan2)};
    early.entries["new"] = {1, at(kJan2)};

    mergeUsage(loaded, early);
    EXPECT_EQ(loaded.entries.at("a"), (UsageEntry{7, at(kJan2 + 60)}));
    EXPECT_EQ(loaded.entries.at("big"), (UsageEntry{kMax, at(kJan2 + 10)}));
    EXPECT_EQ(loaded.entries.at("new"), (UsageEntry{1, at(kJan2)}));

    EXPECT_EQ(incrementedCount(kMax), kMax);
    EXPECT_EQ(incrementedCount(-1), 0);
}

} // namespace
} // namespace korvane
