#include "input/pasteshortcutcache.h"

#include "platform/fake/fakekeyequivalentsource.h"
#include "platform/keycodes.h"
#include "support/logcapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>

namespace korvane {
namespace {

using testing::ElementsAre;
constexpr std::uint64_t command = keyflag::command;

TEST(ParseKeyEquivalentTest, Rows) {
    struct Row {
        std::string equivalent;
        std::optional<PasteShortcut> expected;
    };
    const Row rows[] = {
        {"@~v", PasteShortcut{9, command | keyflag::option}},
        {"v", PasteShortcut{9, command}},
        {"@V", PasteShortcut{9, command}},
        {"^$v", PasteShortcut{9, keyflag::control | keyflag::shift}},
        {"v~@", PasteShortcut{9, command | keyflag::option}},
        {"@cv", PasteShortcut{9, command}},
        {"@v$c", PasteShortcut{8, command | keyflag::shift}},
        {"$m", PasteShortcut{46, keyflag::shift}},
        {"7", PasteShortcut{26, command}},
        {"$" + std::string(KeyEquivalentSource::insertKey), PasteShortcut{keycode::insert, keyflag::shift}},
        {"@", std::nullopt},
        {"", std::nullopt},
        {"@]", std::nullopt},
        {"@ü", std::nullopt},
        {"@\t", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PasteShortcutCache::parseKeyEquivalent(row.equivalent), row.expected) << row.equivalent;
    }
}

TEST(ParseKeyEquivalentTest, KeyTableCoversLettersAndDigitsOfTheAnsiBlock) {
    const std::string keys = "asdfhgzxcvbqweryt123465970ouiplj" "knm";
    std::set<std::uint16_t> codes;
    for (char key : keys) {
        auto code = PasteShortcutCache::virtualKey(std::string(1, key));
        ASSERT_TRUE(code) << key;
        codes.insert(*code);
    }
    EXPECT_EQ(codes.size(), keys.size());
    EXPECT_EQ(PasteShortcutCache::virtualKey("v"), 9);
    EXPECT_EQ(PasteShortcutCache::virtualKey("m"), 46);
    EXPECT_EQ(PasteShortcutCache::virtualKey("V"), std::nullopt);
    EXPECT_EQ(PasteShortcutCache::virtualKey("-"), std::nullopt);
}

class PasteShortcutCacheTest : public testing::Test {
protected:
    test::LogCapture log;
    std::shared_ptr<FakeKeyEquivalentSource> source = std::make_shared<FakeKeyEquivalentSource>();
    PasteShortcutCache cache{source};
};

TEST_F(PasteShortcutCacheTest, TitlesAreTriedInOrder) {
    // Bind every title from the i-th on to its own key: the i-th title must win.
    const std::string keys = "abcdefgh";
    for (std::size_t i = 0; i < PasteShortcutCache::pasteMenuTitles.size(); ++i) {
        std::map<std::string, std::string> bindings;
        for (std::size_t j = i; j < PasteShortcutCache::pasteMenuTitles.size(); ++j) {
            bindings[std::string(PasteShortcutCache::pasteMenuTitles[j])] = std::string("@") + keys[j];
        }
        source->set("app", bindings);
        auto expected = PasteShortcutCache::virtualKey(std::string(1, keys[i]));
        EXPECT_EQ(cache.readPasteShortcut("app"), (PasteShortcut{*expected, command}))
            << PasteShortcutCache::pasteMenuTitles[i];
    }
}

TEST_F(PasteShortcutCacheTest, UnparsableBindingIsReportedAndTheNextTitleTried) {
    source->set("app", {{"Paste", "@"}, {"Coller", "@]"}, {"Einfügen", "@~v"}});
    EXPECT_EQ(cache.readPasteShortcut("app"), (PasteShortcut{9, command | keyflag::option}));
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Found paste shortcut '@' for 'Paste' but failed to parse; falling back",
                            "[Korvane] Found paste shortcut '@]' for 'Coller' but failed to parse; falling back"));
}

TEST_F(PasteShortcutCacheTest, FallsBackToTheGlobalDomainThenToCommandV) {
    source->set("with.own", {{"Paste", "^v"}});
    source->set("broken", {{"Paste", "@"}});
    source->set("other.titles", {{"Copy", "@c"}});
    EXPECT_EQ(cache.pasteShortcut("with.own"), (PasteShortcut{9, keyflag::control}));
    EXPECT_EQ(cache.pasteShortcut("nothing"), (PasteShortcut{9, command}));

    source->set(std::string(PasteShortcutCache::globalDomain), {{"Pegar", "@$p"}});
    for (const char* id : {"broken", "other.titles", "unknown"}) {
        EXPECT_EQ(cache.pasteShortcut(id), (PasteShortcut{35, command | keyflag::shift})) << id;
    }
}

TEST_F(PasteShortcutCacheTest, EachApplicationIsComputedOnce) {
    source->set("app", {{"Paste", "@~v"}});
    EXPECT_EQ(cache.pasteShortcut("app"), (PasteShortcut{9, command | keyflag::option}));
    int reads = source->reads;
    source->set("app", {{"Paste", "@b"}});
    EXPECT_EQ(cache.pasteShortcut("app"), (PasteShortcut{9, command | keyflag::option}));
    EXPECT_EQ(cache.pasteShortcut("none"), PasteShortcut{});
    EXPECT_EQ(cache.pasteShortcut("none"), PasteShortcut{});
    EXPECT_EQ(source->reads, reads + 2);
}

} // namespace
} // namespace korvane
