#include "providers/manualsnippetprovider.h"

#include <gmock/gmock.h>

namespace korvane {
namespace {

using testing::ElementsAreArray;

ManualSnippet record(std::string key, std::optional<std::string> expand, std::optional<std::string> url = {},
                     std::optional<std::string> label = {}) {
    return ManualSnippet{std::move(key), std::move(expand), std::move(url), std::move(label), std::nullopt};
}

std::vector<std::string> ids(const std::vector<Snippet>& snippets) {
    std::vector<std::string> result;
    for (const auto& snippet : snippets) {
        result.push_back(snippet.id);
    }
    return result;
}

TEST(ManualSnippetProviderTest, ValidRecordsComeFirstAndTakeTheirKeysFromTheBuiltIns) {
    const struct {
        const char* name;
        std::vector<ManualSnippet> records;
        std::vector<std::string> expected;
    } cases[] = {
        {"empty", {}, {"builtin:date", "builtin:now", "builtin:uuid", "builtin:paste", "builtin:shrug"}},
        {"valid date", {record("date", "today")}, {"manual:date", "builtin:now", "builtin:uuid", "builtin:paste", "builtin:shrug"}},
        {"invalid date", {record("date", std::nullopt)}, {"builtin:date", "builtin:now", "builtin:uuid", "builtin:paste", "builtin:shrug"}},
        {"other case", {record("Date", "x")}, {"manual:Date", "builtin:date", "builtin:now", "builtin:uuid", "builtin:paste", "builtin:shrug"}},
        {"duplicates kept", {record("sig", "a"), record("sig", "b"), record("uuid", "u")},
         {"manual:sig", "manual:sig", "manual:uuid", "builtin:date", "builtin:now", "builtin:paste", "builtin:shrug"}},
        {"both expand and url", {record("shrug", "x", "https://a.example")}, {"builtin:date", "builtin:now", "builtin:uuid", "builtin:paste", "builtin:shrug"}},
    };
    for (const auto& c : cases) {
        ManualSnippetProvider provider(c.records);
        EXPECT_THAT(ids(provider.snippets("/any")), ElementsAreArray(c.expected)) << c.name;
    }
}

TEST(ManualSnippetProviderTest, FieldsOfARecord) {
    ManualSnippet full = record("sig", "Regards", std::nullopt, "Signature");
    full.description = "mail ending";
    ManualSnippetProvider provider({full, record("docs", std::nullopt, "https://docs.example", ""),
                                    record("plain", "p", std::nullopt, std::nullopt)});
    const auto snippets = provider.snippets("/a");
    ASSERT_EQ(snippets.size(), 8u);
    EXPECT_EQ(snippets[0].label, "sig");
    EXPECT_EQ(snippets[0].expansion, "Regards");
    EXPECT_EQ(snippets[0].displayName, "Signature");
    EXPECT_EQ(snippets[0].description, "mail ending");
    EXPECT_EQ(snippets[0].source, SnippetSource::manual());
    EXPECT_FALSE(snippets[0].url || snippets[0].metadata || snippets[0].scope || snippets[0].badgeText);
    EXPECT_EQ(snippets[1].expansion, "");
    EXPECT_EQ(snippets[1].url, "https://docs.example");
    EXPECT_FALSE(snippets[1].displayName.has_value());
    EXPECT_FALSE(snippets[2].displayName.has_value());
    EXPECT_EQ(snippets[3].source, SnippetSource::manual());

    // The result does not depend on the project.
    EXPECT_EQ(ids(provider.snippets("/b")), ids(snippets));
}

} // namespace
} // namespace korvane
