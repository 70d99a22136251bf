#include "registry/templateexpansion.h"

#include "platform/fake/fakepasteboard.h"

#include <ctime>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <regex>

namespace korvane {
namespace {

// 2026-03-06 09:05:00 in the local time zone, whatever it is.
std::chrono::system_clock::time_point localInstant() {
    std::tm parts{};
    parts.tm_year = 2026 - 1900;
    parts.tm_mon = 2;
    parts.tm_mday = 6;
    parts.tm_hour = 9;
    parts.tm_min = 5;
    parts.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parts));
}

class TemplateExpansionTest : public testing::Test {
protected:
    TemplateExpansionTest() {
        providers.now = [] { return localInstant(); };
        providers.clipboard = [this] { return clipboard; };
        providers.uuid = [this] { return "UUID-" + std::to_string(++uuids); };
    }

    TemplateResolver resolverFor(std::map<std::string, std::string> table) {
        return [table = std::move(table)](const std::string& name) -> const std::string* {
            auto found = table.find(name);
            return found == table.end() ? nullptr : &found->second;
        };
    }

    // Counts what an expansion fetches and builds through its providers.
    void countCalls() {
        providers.clipboard = [this] {
            ++clipboardReads;
            return clipboard;
        };
        providers.dateFormatter = [this](const std::string& pattern) {
            ++formattersMade;
            return makeDateFormatter(pattern);
        };
    }

    TemplateProviders providers;
    std::string clipboard = "clip {{date}}";
    int uuids = 0;
    int clipboardReads = 0;
    int formattersMade = 0;
};

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TEST_F(TemplateExpansionTest, BuiltInPlaceholdersAndLiteralLeftovers) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Today is {{date}}", "Today is 2026-03-06"},
        {"{{ time }}", "09:05"},
        {"{{time:HH:mm:ss}}", "09:05:00"},
        {"{{date: yyyy/MM }}", "2026/03"},
        {"{{Date}}", "{{Date}}"},
        {"a {{unknown}} b", "a {{unknown}} b"},
        {"a {{date", "a {{date"},
        {"}} {{uuid}}", "}} UUID-1"},
        {"{{clipboard}}", "clip {{date}}"},
        {"no braces", "no braces"},
    };
    for (const auto& [text, expected] : cases) {
        uuids = 0;
        EXPECT_EQ(expandTemplate(text, providers), expected) << text;
    }
}

TEST_F(TemplateExpansionTest, NamesAreTrimmedOfEveryKindOfSpace) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"{{\u00A0date\u00A0}}", "2026-03-06"},           // no-break space
        {"{{\u3000time\u2003}}", "09:05"},                // ideographic and em space
        {"{{\t\u202F\u205F date \u2009}}", "2026-03-06"}, // narrow no-break, math space
        {"{{date:\u00A0yyyy\u00A0}}", "2026"},
        {"{{\u1680sig\u200A}}", "Best"},
        // Not white space in this sense: line breaks and the zero-width space.
        {"{{\ndate}}", "{{\ndate}}"},
        {"{{\u200Bdate}}", "{{\u200Bdate}}"},
        {"{{d\u00A0ate}}", "{{d\u00A0ate}}"},
        {"{{\u00A0}}", "{{\u00A0}}"},
    };
    const auto resolver = resolverFor({{"sig", "Best"}});
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(expandTemplate(text, providers, resolver), expected) << text;
    }
}

TEST_F(TemplateExpansionTest, EachUuidIsNewAndEveryDateUsesOneInstant) {
    int calls = 0;
    providers.now = [&] {
        ++calls;
        return localInstant() + std::chrono::hours(24 * calls);
    };
    EXPECT_EQ(expandTemplate("{{uuid}} {{uuid}}", providers), "UUID-1 UUID-2");
    EXPECT_EQ(expandTemplate("{{date}} {{date}}", providers), "2026-03-08 2026-03-08");
}

TEST_F(TemplateExpansionTest, EmptyClipboardAndRealUuids) {
    clipboard.clear();
    EXPECT_EQ(expandTemplate("[{{clipboard}}]", providers), "[]");

    FakePasteboard pasteboard;
    const auto defaults = defaultTemplateProviders(pasteboard);
    EXPECT_EQ(expandTemplate("[{{clipboard}}]", defaults), "[]");
    pasteboard.setString("text");
    EXPECT_EQ(expandTemplate("[{{clipboard}}]", defaults), "[text]");

    const auto first = expandTemplate("{{uuid}}", defaults);
    EXPECT_TRUE(std::regex_match(
        first, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
        << first;
    EXPECT_NE(first, expandTemplate("{{uuid}}", defaults));
}

// Text the user did not write expands without a clipboard provider or a resolver: the clipboard and
// the user's snippets stay out of it, dates still work.
TEST_F(TemplateExpansionTest, WithoutClipboardOrResolverThosePlaceholdersStayAsWritten) {
    providers.clipboard = nullptr;
    EXPECT_EQ(expandTemplate("{{clipboard}} {{gh-token}} {{date}}", providers),
              "{{clipboard}} {{gh-token}} 2026-03-06");
}

TEST_F(TemplateExpansionTest, ResolverNamesExpandWithoutCycles) {
    const auto resolver =
        resolverFor({{"a", "x{{b}}"}, {"b", "{{a}}y"}, {"sig", "Best, {{ me }}"}, {"me", "K"}});
    EXPECT_EQ(expandTemplate("{{a}}", providers, resolver), "x{{a}}y");
    EXPECT_EQ(expandTemplate("{{sig}} on {{date}}", providers, resolver), "Best, K on 2026-03-06");
}

TEST_F(TemplateExpansionTest, ResolverTextsStopAtDepthNine) {
    std::map<std::string, std::string> chain;
    for (int level = 0; level < 12; ++level) {
        chain["n" + std::to_string(level)] = std::to_string(level) + "{{n" + std::to_string(level + 1) + "}}";
    }
    const auto result = expandTemplate("{{n0}}", providers, resolverFor(chain));
    // n0 is expanded at depth 1, ..., n8 at depth 9; n9's text reaches depth 10 and stays as written.
    EXPECT_EQ(result, "0123456789{{n10}}");
}

TEST_F(TemplateExpansionTest, FanOutIsBoundedAndLeavesPlaceholdersLiteral) {
    // Each level doubles: unbounded, 2^9 expansions of the leaf.
    std::map<std::string, std::string> doubling;
    for (int level = 0; level < 9; ++level) {
        const auto next = "{{d" + std::to_string(level + 1) + "}}";
        doubling["d" + std::to_string(level)] = next + next;
    }
    doubling["d9"] = std::string(100, 'x');
    const TemplateLimits limits{.maxOutputBytes = 1000};
    const auto result = expandTemplate("{{d0}}", providers, resolverFor(doubling), 0, {}, limits);
    EXPECT_LE(result.size(), 1000u + 9 * 12 + 100);
    EXPECT_NE(result.find("{{d"), std::string::npos);

    const auto large = expandTemplate("{{d0}}", providers, resolverFor(doubling));
    EXPECT_EQ(large, std::string(51200, 'x')) << "2^9 leaves of 100 bytes fit the default limit";
}

TEST_F(TemplateExpansionTest, TheOutputLimitCountsGrowthNotOneInsertionOrSiblings) {
    clipboard = std::string(2u << 20, 'c');
    const auto resolver = resolverFor({{"sig", "Best, K"}, {"paste", "> {{clipboard}}"}});
    // (Compared as booleans: a 2 MiB difference is no help in a failure message.)
    EXPECT_TRUE(expandTemplate("[{{clipboard}}]", providers) == "[" + clipboard + "]");
    EXPECT_TRUE(expandTemplate("{{paste}}", providers, resolver) == "> " + clipboard);

    // Once the limit is spent, the remaining placeholders are kept as written.
    EXPECT_TRUE(expandTemplate("{{clipboard}}{{clipboard}}{{date}}", providers) ==
                clipboard + "{{clipboard}}{{date}}");

    std::string sigs;
    for (int i = 0; i < 300; ++i) {
        sigs += "{{sig}}\n";
    }
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        expected += "Best, K\n";
    }
    EXPECT_EQ(expandTemplate(sigs, providers, resolver), expected);
    // Text copied from the top-level text is not growth: a date after 2 MiB of it still expands.
    EXPECT_TRUE(expandTemplate(clipboard + "{{date}}", providers) == clipboard + "2026-03-06");
}

TEST_F(TemplateExpansionTest, ResolverWorkIsBoundedWhenNothingGrows) {
    // Nine levels of a thousand names each whose leaves are empty: 1000^9 calls without a work limit.
    std::map<std::string, std::string> fanOut;
    for (int level = 0; level < 9; ++level) {
        std::string text;
        for (int i = 0; i < 1000; ++i) {
            text += "{{e" + std::to_string(level + 1) + "}}";
        }
        fanOut["e" + std::to_string(level)] = text;
    }
    fanOut["e9"] = "";
    std::size_t calls = 0;
    const TemplateResolver resolver = [&, table = resolverFor(fanOut)](const std::string& name) {
        ++calls;
        return table(name);
    };
    const TemplateLimits limits{.maxWorkBytes = 1 << 20};
    const auto result = expandTemplate("{{e0}}", providers, resolver, 0, {}, limits);
    EXPECT_LE(calls, (1u << 20) / 64);
    EXPECT_LE(result.size(), (1u << 20) * 2);
}

TEST_F(TemplateExpansionTest, FormattersAndTheClipboardAreFetchedOncePerExpansion) {
    countCalls();
    EXPECT_EQ(expandTemplate(repeated("{{date}}{{ date }}{{time}}.", 1000), providers),
              repeated("2026-03-062026-03-0609:05.", 1000));
    EXPECT_EQ(formattersMade, 2);

    formattersMade = 0;
    const std::string dates = repeated("{{date}}", 20000);
    const TemplateResolver resolver = [&](const std::string& name) -> const std::string* {
        return name == "d" ? &dates : nullptr;
    };
    const auto manyDates = expandTemplate(repeated("{{d}}", 300), providers, resolver);
    EXPECT_EQ(formattersMade, 1);
    EXPECT_TRUE(manyDates.starts_with(repeated("2026-03-06", 100000))) << "1 MB of dates fits";
    EXPECT_LE(manyDates.size(), (1u << 20) + dates.size() + 300 * 5);

    clipboard = std::string(2u << 20, 'c');
    const auto pasted = expandTemplate(repeated("{{clipboard}}", 2000), providers);
    EXPECT_EQ(clipboardReads, 1);
    EXPECT_TRUE(pasted == clipboard + repeated("{{clipboard}}", 1999));
    clipboard = "x";
    EXPECT_EQ(expandTemplate(repeated("{{clipboard}}", 2000), providers), std::string(2000, 'x'));
    EXPECT_EQ(clipboardReads, 2);
}

TEST_F(TemplateExpansionTest, WorkStopsOnceTheBudgetIsSpent) {
    countCalls();
    std::string patterns;
    for (int i = 0; i < 2000; ++i) {
        patterns += "{{date:'" + std::to_string(i) + "'}}";
    }
    const TemplateLimits limits{.maxWorkBytes = 4 << 20};
    const auto formatted = expandTemplate(patterns, providers, {}, 0, {}, limits);
    EXPECT_LE(formattersMade, 64);
    EXPECT_TRUE(formatted.starts_with("0123456789")) << formatted.substr(0, 20);
    EXPECT_TRUE(formatted.ends_with("{{date:'1999'}}"));

    // A pattern too long to be worth its formatter stays as written.
    const auto longPattern = "{{date:" + repeated("yyyy", 1 << 20) + "}}";
    EXPECT_TRUE(expandTemplate(longPattern, providers) == longPattern);

    // Each resolver text takes its own instant, so a pattern they share is formatted again and again.
    int formats = 0;
    providers.dateFormatter = [&](const std::string& pattern) -> DateFormatter {
        return
            [&formats, format = makeDateFormatter(pattern)](std::chrono::system_clock::time_point instant) {
                ++formats;
                return format(instant);
            };
    };
    auto instant = localInstant();
    providers.now = [&] { return instant += std::chrono::seconds(1); };
    const auto longDate = resolverFor({{"d", "{{date:" + std::string(100, 'y') + "}}"}});
    (void)expandTemplate(repeated("{{d}}", 5000), providers, longDate, 0, {}, limits);
    EXPECT_LE(formats, (4 << 20) / (101 * 256));

    const auto uuidText = repeated("{{uuid}}", 100000);
    const auto withUuids = expandTemplate(uuidText, providers, {}, 0, {}, limits);
    EXPECT_LE(uuids, 1024);
    EXPECT_TRUE(withUuids.ends_with("{{uuid}}"));

    std::size_t calls = 0;
    const TemplateResolver unknown = [&](const std::string&) -> const std::string* {
        ++calls;
        return nullptr;
    };
    const auto names = repeated("{{x}}", 300000);
    EXPECT_TRUE(expandTemplate(names, providers, unknown, 0, {}, limits) == names);
    EXPECT_LE(calls, (4u << 20) / 256);
}

// The expansion as the plain algorithm states it, for texts of built-in dates and unknown names.
std::string referenceExpansion(const std::string& text) {
    std::string result;
    std::size_t position = 0;
    for (;;) {
        const auto open = text.find("{{", position);
        if (open == std::string::npos) {
            break;
        }
        result += text.substr(position, open - position);
        const auto close = text.find("}}", open + 2);
        if (close == std::string::npos) {
            position = open;
            break;
        }
        const auto inner = text.substr(open + 2, close - open - 2);
        const auto first = inner.find_first_not_of(" \t");
        const auto name =
            first == std::string::npos ? "" : inner.substr(first, inner.find_last_not_of(" \t") - first + 1);
        result += name == "date"   ? "2026-03-06"
                  : name == "time" ? "09:05"
                                   : text.substr(open, close + 2 - open);
        position = close + 2;
    }
    return result + text.substr(position);
}

TEST_F(TemplateExpansionTest, RandomTextsExpandAsThePlainAlgorithm) {
    const std::string pieces[] = {"{", "}", "{{", "}}", "date", "time", " ", "\t", "x", "{{date}}", "é"};
    std::mt19937 random(7);
    for (int round = 0; round < 1000; ++round) {
        std::string text;
        const auto length = random() % 40;
        for (std::uint32_t i = 0; i < length; ++i) {
            text += pieces[random() % std::size(pieces)];
        }
        ASSERT_EQ(expandTemplate(text, providers), referenceExpansion(text)) << text;
    }
}

} // namespace
} // namespace korvane
