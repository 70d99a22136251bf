#include "providers/customprovider.h"

#include "platform/fake/fakeprocessrunner.h"
#include "providers/jsonprovideroutput.h"
#include "support/logcapture.h"

#include <gmock/gmock.h>

namespace korvane {
namespace {

using testing::ElementsAre;

// One snippet written as "key|display name|expansion|description|url", absent fields as "-".
std::string describe(const Snippet& snippet) {
    const auto field = [](const std::optional<std::string>& value) { return value.value_or("-"); };
    return snippet.label + "|" + field(snippet.displayName) + "|" + snippet.expansion + "|" +
           field(snippet.description) + "|" + field(snippet.url);
}

struct Row {
    std::string output;
    std::vector<std::string> snippets;
    // The text after "[Korvane] Custom provider 'tickets'" of each line written.
    std::vector<std::string> lines;
};

const std::string failed = ": failed to parse JSON output";

const Row rows[] = {
    // JSON
    {R"([{"key": "deploy", "expansion": "make deploy", "description": "Deploy the current branch"}])",
     {"deploy|-|make deploy|Deploy the current branch|-"},
     {}},
    {R"({"items": [{"key": "a"}, {"label": "B"}]})", {"a|-|a|-|-", "B|-|B|-|-"}, {}},
    {"\n\n  \t[{\"key\": \"x\"}]\n", {"x|-|x|-|-"}, {}},
    {R"([{"label": "Deploy"}])", {"Deploy|-|Deploy|-|-"}, {}},
    {R"([{"key": "  a  ", "label": "a"}, {"key": "k", "label": " Nice\n"}])", {"a|-|a|-|-", "k|Nice|k|-|-"}, {}},
    {R"([{"key": "u", "url": "https://x.test/a?b#c"}, {"key": "e", "expansion": ""}])",
     {"u|-||-|https://x.test/a?b#c", "e|-||-|-"},
     {}},
    {R"([{"key": "u", "expansion": "", "url": "mailto:a@b.test"}])", {"u|-||-|mailto:a@b.test"}, {}},
    {R"([{"key": "b", "expansion": "x", "url": "https://x.test"}])",
     {"b|-|x|-|-"},
     {": item 'b' has both expansion and url - using expansion"}},
    {R"([{"key": "bad", "url": "example.com/path"}, {"key": "ok"}])",
     {"ok|-|ok|-|-"},
     {": item 'bad' has invalid URL - skipping"}},
    {R"([{"key": " \n", "label": ""}, {"description": "d"}, {"key": "ok"}])",
     {"ok|-|ok|-|-"},
     {": item missing both key and label - skipping", ": item missing both key and label - skipping"}},
    {R"([{"key": "x", "expansion": "1"}, {"key": "y"}, {"key": "x", "expansion": "2"}])",
     {"x|-|2|-|-", "y|-|y|-|-"},
     {": duplicate key 'x' - last wins"}},
    {R"([{"key": "a", "type": "t", "priority": 3, "other": {"z": [1]}, "description": null, "url": null}])",
     {"a|-|a|-|-"},
     {}},
    {R"([{"key": "a", "priority": 2.0}])", {"a|-|a|-|-"}, {}},
    {"[]", {}, {}},
    {R"({"items": []})", {}, {}},
    {R"({"key": "a"})", {}, {failed}},
    {"{}", {}, {failed}},
    {R"({"items": null})", {}, {failed}},
    {R"([{"key": "a"}, {"key": "b", "priority": "high"}, {"key": "c"}])", {}, {failed}},
    {R"([{"key": "a", "priority": 1.5}])", {}, {failed}},
    {R"([{"key": 5}])", {}, {failed}},
    {R"([{"label": {"text": "a"}}])", {}, {failed}},
    {R"(["a"])", {}, {failed}},
    {R"([{"key": "a"})", {}, {failed}},
    // TSV
    {"deploy\tmake deploy", {"deploy|-|make deploy|-|-"}, {}},
    {"deploy\t\tmake deploy\n", {"deploy|-|make deploy|-|-"}, {}},
    {"a\tb\tc\td\te", {"a|b|c|d\te|-"}, {}},
    {"a\tb\tc\t\td", {"a|b|c|\td|-"}, {}},
    {"a\ta\tx\ty", {"a|-|x|y|-"}, {}},
    {"a\tb\tc", {"a|-|b|c|-"}, {}},
    {"single", {"single|-|single|-|-"}, {}},
    {"  \t \nx\n\n", {"x|-|x|-|-"}, {}},
    {"a\r\nb\r\n", {"a|-|a|-|-", "b|-|b|-|-"}, {}},
    {"a\u2028b\u0085c\u2029d\ve\ff", {"a|-|a|-|-", "b|-|b|-|-", "c|-|c|-|-", "d|-|d|-|-", "e|-|e|-|-", "f|-|f|-|-"}, {}},
    {" key \t exp ", {"key|-| exp|-|-"}, {}},
    {"\u00a0k\u3000\tv", {"k|-|v|-|-"}, {}},
    {"note\t{\"key\": 1}", {"note|-|{\"key\": 1}|-|-"}, {}},
    {"x\t1\nx\t2", {"x|-|2|-|-"}, {": duplicate key 'x' - last wins"}},
    {" \n\t\n", {}, {}},
};

class CustomProviderOutputTest : public testing::Test {
protected:
    CustomProviderOutputTest() {
        CustomProviderConfig config;
        config.id = "tickets";
        config.label = "Tickets";
        config.command = "list";
        provider = std::make_shared<CustomProvider>(
            config, std::make_shared<ShellCommandRunner>(std::make_shared<FakeProcessRunner>()));
    }

    std::shared_ptr<CustomProvider> provider;
    test::LogCapture log;
};

TEST_F(CustomProviderOutputTest, JsonAndTsvRows) {
    for (const auto& row : rows) {
        log.clear();
        std::vector<std::string> described;
        for (const auto& snippet : provider->parseOutput(row.output)) {
            described.push_back(describe(snippet));
        }
        std::vector<std::string> expectedLines;
        for (const auto& line : row.lines) {
            expectedLines.push_back("[Korvane] Custom provider 'tickets'" + line);
        }
        EXPECT_EQ(described, row.snippets) << row.output;
        EXPECT_EQ(log.lines(), expectedLines) << row.output;
    }
}

TEST_F(CustomProviderOutputTest, EverySnippetCarriesTheProvidersSourceBadgeAndAStableId) {
    const auto json = provider->parseOutput(R"([{"key": "abc", "label": "Nice"}])");
    const auto tsv = provider->parseOutput("abc\tNice\tx\ty\n");
    ASSERT_EQ(json.size(), 1u);
    ASSERT_EQ(tsv.size(), 1u);
    for (const auto& snippet : {json[0], tsv[0]}) {
        EXPECT_EQ(snippet.id, "custom:tickets:119f095f750e29fe");
        EXPECT_EQ(snippet.source, SnippetSource::custom("tickets"));
        EXPECT_EQ(snippet.badgeText, "TICK");
        EXPECT_EQ(snippet.metadata, std::nullopt);
        EXPECT_EQ(snippet.scope, std::nullopt);
    }
}

TEST(JSONProviderOutputTest, WritesBackTheKeysInOrderLeavingAbsentOnesOut) {
    JSONProviderItem item;
    item.url = "https://x.test";
    item.key = "k";
    item.priority = 7;
    JSONProviderOutput output{std::vector<JSONProviderItem>{item, JSONProviderItem{}}};
    EXPECT_EQ(output.encode().dump(), R"({"items":[{"key":"k","priority":7,"url":"https://x.test"},{}]})");
    EXPECT_EQ(JSONProviderOutput{}.encode().dump(), "{}");

    JsonDecodeStatus status(false);
    EXPECT_EQ(JSONProviderOutput::decode(output.encode(), "output", status), output);
    EXPECT_FALSE(status.failed());
}

} // namespace
} // namespace korvane
