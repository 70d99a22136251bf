#include "base/jsonreader.h"

#include "base/jsonwriter.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

TEST(JsonKeyMappingTest, SnakeCaseKeysBecomeFieldNames) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"bundle_id", "bundleId"},
        {"BUNDLE_ID", "bundleId"},
        {"max_branch_age_days", "maxBranchAgeDays"},
        {"bundleId", "bundleId"}, // no underscore: unchanged
        {"BundleId", "BundleId"}, // no underscore: case kept, so it matches nothing
        {"_private_key", "_privateKey"},
        {"trailing_key_", "trailingKey_"},
        {"double__gap", "doubleGap"},
        {"___", "___"},
    };
    for (const auto& [key, field] : cases) {
        EXPECT_EQ(fieldNameForJsonKey(key), field) << key;
    }
    EXPECT_EQ(jsonKeyForFieldName("maxBranchAgeDays"), "max_branch_age_days");
}

struct Reading {
    Json json;
    JsonDecodeStatus status;
    JsonObjectReader reader;

    explicit Reading(const char* text)
        : json(Json::parse(text))
        , reader(json, "root", status) {}
};

TEST(JsonObjectReaderTest, StrictTypesRejectLookalikes) {
    struct Case {
        const char* text;
        bool (*read)(const JsonObjectReader&);
    };
    const auto integer = [](const JsonObjectReader& r) { return r.optionalInteger("v").has_value(); };
    const auto boolean = [](const JsonObjectReader& r) { return r.optionalBool("v").has_value(); };
    const auto string = [](const JsonObjectReader& r) { return r.optionalString("v").has_value(); };
    const auto number = [](const JsonObjectReader& r) { return r.optionalNumber("v").has_value(); };
    const std::vector<Case> refused{
        {R"({"v": "8"})", integer},    {R"({"v": 8.5})", integer},
        {R"({"v": true})", integer},   {R"({"v": 1})", boolean},
        {R"({"v": "true"})", boolean}, {R"({"v": 5})", string},
        {R"({"v": "1.5"})", number},   {R"({"v": 18446744073709551615})", integer},
    };
    for (const auto& c : refused) {
        Reading reading(c.text);
        EXPECT_FALSE(c.read(reading.reader)) << c.text;
        EXPECT_TRUE(reading.status.failed()) << c.text;
    }
}

TEST(JsonObjectReaderTest, IntegersStayExactAndNullIsAbsent) {
    Reading reading(R"({"big": 9223372036854775807, "low": -9223372036854775808, "whole": 8.0,
                        "gone": null, "ratio": 3})");
    EXPECT_EQ(reading.reader.optionalInteger("big"), INT64_MAX);
    EXPECT_EQ(reading.reader.optionalInteger("low"), INT64_MIN);
    EXPECT_EQ(reading.reader.optionalInteger("whole"), 8);
    EXPECT_EQ(reading.reader.optionalNumber("ratio"), 3.0);
    EXPECT_EQ(reading.reader.optionalString("gone"), std::nullopt);
    EXPECT_FALSE(reading.status.failed());
}

TEST(JsonObjectReaderTest, ErrorsNameTheKeyPath) {
    Reading wrongType(R"({"list": [{"name": "a"}, {"name": 5}]})");
    wrongType.reader.optionalArray("list",
                                   [](const Json& element, const std::string& path, JsonDecodeStatus& s) {
                                       return JsonObjectReader(element, path, s).requiredString("name");
                                   });
    EXPECT_EQ(wrongType.status.error(), "root.list[1].name: expected a string, found number");

    Reading missing(R"({"scanDepth": 1})");
    missing.reader.requiredString("bundleId");
    EXPECT_EQ(missing.status.error(), "root.bundle_id: required key is missing");
    Reading nullRequired(R"({"bundle_id": null})");
    nullRequired.reader.requiredString("bundleId");
    EXPECT_TRUE(nullRequired.status.failed());
}

TEST(JsonObjectReaderTest, LaterKeyForTheSameFieldWins) {
    Reading reading(R"({"bundle_id": "first", "bundleId": "second"})");
    EXPECT_EQ(reading.reader.optionalString("bundleId"), "second");
    EXPECT_EQ(reading.reader.pathOf("bundleId"), "root.bundleId");
}

TEST(ParseJsonTest, BoundsNestingAndReportsSyntaxErrors) {
    const std::string deep = std::string(65, '[') + std::string(65, ']');
    EXPECT_FALSE(parseJson(deep).has_value());
    const std::string allowed = std::string(64, '[') + std::string(64, ']');
    EXPECT_TRUE(parseJson(allowed).has_value());
    // Brackets inside strings are text, not nesting.
    EXPECT_TRUE(parseJson("{\"a\": \"" + std::string(100, '[') + "\\\"\"}").has_value());

    const auto broken = parseJson("not json");
    ASSERT_FALSE(broken.has_value());
    EXPECT_EQ(broken.error().find("[json.exception"), std::string::npos);
    EXPECT_NE(broken.error().find("parse error"), std::string::npos);
}

TEST(PrettyJsonTest, KeepsMemberOrderAndRefusesInvalidUtf8) {
    Json object = Json::object();
    object["zeta"] = 1;
    object["alpha"] = "é";
    setIfPresent(object, "absent", std::optional<int>());
    EXPECT_EQ(prettyJson(object).value(), "{\n  \"zeta\": 1,\n  \"alpha\": \"é\"\n}\n");

    object["bad"] = std::string("\xff");
    EXPECT_FALSE(prettyJson(object).has_value());
}

} // namespace
} // namespace korvane
