#include "configmanagerharness.h"

#include <algorithm>
#include <gmock/gmock.h>

namespace korvane::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing::UnorderedElementsAre;

const Snippet* find(const std::vector<Snippet>& snippets, const std::string& label) {
    const auto it =
        std::find_if(snippets.begin(), snippets.end(), [&](const Snippet& s) { return s.label == label; });
    return it == snippets.end() ? nullptr : &*it;
}

ConfigManager::ManualCacheKey key(const std::string& bundleID, const std::optional<std::string>& root,
                                  std::uint64_t version) {
    return ConfigManager::ManualCacheKey{bundleID, root, version};
}

std::vector<std::string> ids(const std::vector<Snippet>& snippets) {
    std::vector<std::string> result;
    for (const auto& s : snippets) {
        result.push_back(s.id);
    }
    return result;
}

class ManualSetTest : public ConfigManagerTest {
protected:
    std::vector<Snippet> set(const std::string& bundle = "kitty") {
        return manager.mergedManualSnippets(bundle, manager.currentConfigProjectRoot());
    }
};

TEST_F(ManualSetTest, LaterLayersReplaceEarlierOnesByKey) {
    writeGlobal(R"({
        "snippets": [{"key": "date", "expand": "today"}, {"key": "sig", "expand": "global sig"},
                     {"key": "g", "expand": "global only"}],
        "app_snippets": [{"bundle_id": "kitty", "app_name": "kitty",
                          "snippets": [{"key": "sig", "expand": "app sig"}, {"key": "k", "expand": "kitty"}]}]})");
    writeProject(R"({"snippets": [{"key": "sig", "expand": "project sig"}]})");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot());

    // Until the project is trusted the user's keys keep their meaning.
    EXPECT_EQ(find(set(), "sig")->expansion, "app sig");
    EXPECT_EQ(find(set("xterm"), "sig")->expansion, "global sig");
    const auto waiting = manager.projectsAwaitingTrust();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_THAT(waiting[0].overridingKeys, testing::ElementsAre("sig"));
    ASSERT_TRUE(manager.trustProjectCommands(waiting[0]));

    const auto snippets = set();
    EXPECT_THAT(ids(snippets),
                UnorderedElementsAre("manual:date", "builtin:now", "builtin:uuid", "builtin:paste",
                                     "builtin:shrug", "manual:sig", "manual:g", "manual:k"));
    EXPECT_EQ(find(snippets, "date")->expansion, "today");
    EXPECT_EQ(find(snippets, "date")->scope, SnippetScope::global);
    EXPECT_EQ(find(snippets, "sig")->expansion, "project sig");
    EXPECT_EQ(find(snippets, "sig")->scope, SnippetScope::project);
    EXPECT_EQ(find(snippets, "k")->scope, SnippetScope::app);
    EXPECT_EQ(find(snippets, "now")->scope, SnippetScope::global);

    const auto other = set("xterm");
    EXPECT_EQ(find(other, "k"), nullptr);
    EXPECT_EQ(find(other, "sig")->expansion, "project sig");
}

// A project's snippet that would type a line break (of any kind: ControlCharactersTest) waits for trust
// like one that replaces a key: not offered, not in the merged file, named once, listed and covered by
// the trust; then as written.
TEST_F(ManualSetTest, AProjectSnippetWithALineBreakWaitsForTrust) {
    writeGlobal(R"({"snippets": [{"key": "sig", "expand": "mine"}]})");
    const std::string others = R"({"key": "cr", "expand": "a\rb"}, {"key": "ls", "expand": "a\u2028b"},
        {"key": "tab", "expand": "a\tb"}, {"key": "rtl", "expand": "a\u202Eb"}, {"key": "sig", "expand": "x\ny"})";
    const auto project = [&](const std::string& lf) {
        writeProject(R"({"snippets": [)" + others + R"(, {"key": "lf", "expand": ")" + lf + R"("}]})");
    };
    project("echo a\\ntouch b");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot());

    std::vector<std::string> offered;
    for (const auto& snippet : set()) {
        if (snippet.scope == SnippetScope::project) {
            offered.push_back(snippet.label);
        }
    }
    std::vector<std::string> merged;
    for (const auto& snippet : manager.mergedConfig().snippets) {
        merged.push_back(snippet.key);
    }
    EXPECT_THAT(offered, ElementsAre("tab", "rtl"));
    EXPECT_THAT(merged, ElementsAre("tab", "rtl", "sig"));
    EXPECT_EQ(find(set(), "sig")->expansion, "mine");
    EXPECT_THAT(
        log.lines(),
        testing::Contains("[Korvane] Project snippet 'lf' waits for trust: its text holds a line break"));
    EXPECT_THAT(
        log.lines(),
        testing::Contains("[Korvane] Project snippet 'sig' waits for trust: the key stays the user's"));

    const auto waiting = manager.projectsAwaitingTrust();
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_THAT(waiting[0].overridingKeys, ElementsAre("sig"));
    EXPECT_THAT(waiting[0].lineBreakKeys, ElementsAre("cr", "ls", "sig", "lf"));
    // The trust covers the text: another second line asks again.
    project("echo a\\ntouch c");
    manager.reloadProjectConfig();
    ASSERT_EQ(manager.projectsAwaitingTrust().size(), 1u);
    EXPECT_NE(manager.projectsAwaitingTrust()[0].commandsDigest, waiting[0].commandsDigest);
    ASSERT_TRUE(manager.trustProjectCommands(manager.projectsAwaitingTrust()[0]));
    EXPECT_EQ(find(set(), "lf")->expansion, "echo a\ntouch c");
    EXPECT_EQ(find(set(), "sig")->expansion, "x\ny");
    // Only what the box listed counts: a plain snippet added keeps the trust.
    writeProject(R"({"snippets": [)" + others +
                 R"(, {"key": "lf", "expand": "echo a\ntouch c"}, {"key": "plain", "expand": "p"}]})");
    manager.reloadProjectConfig();
    EXPECT_TRUE(manager.projectsAwaitingTrust().empty());
    EXPECT_EQ(find(set(), "lf")->expansion, "echo a\ntouch c");
}

TEST_F(ManualSetTest, InvalidSnippetDoesNotHideTheValidOneBelowIt) {
    writeGlobal(R"({
        "snippets": [{"key": "date"}, {"key": "sig", "expand": "global sig"}],
        "app_snippets": [{"bundle_id": "kitty", "app_name": "kitty", "snippets": []}]})");
    writeProject(
        R"({"snippets": [{"key": "sig", "url": "no-scheme"}, {"key": "now", "expand": "x", "url": "a:b"}]})");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot());

    const auto snippets = set();
    ASSERT_NE(find(snippets, "date"), nullptr);
    EXPECT_EQ(find(snippets, "date")->id, "builtin:date");
    ASSERT_NE(find(snippets, "sig"), nullptr);
    EXPECT_EQ(find(snippets, "sig")->expansion, "global sig");
    EXPECT_EQ(find(snippets, "sig")->scope, SnippetScope::global);
    EXPECT_EQ(find(snippets, "now")->id, "builtin:now");
}

TEST_F(ManualSetTest, ConvertsConfiguredSnippetsIntoRegistrySnippets) {
    const auto link = ConfigManager::makeSnippet(
        ManualSnippet{.key = "docs", .url = "https://example.org", .label = "", .description = "Docs"},
        SnippetScope::project, false);
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(link->id, "manual:docs");
    EXPECT_EQ(link->expansion, "");
    EXPECT_EQ(link->url, "https://example.org");
    EXPECT_EQ(link->displayName, std::nullopt);

    const auto labelled = ConfigManager::makeSnippet(ManualSnippet{.key = "d", .expand = "x", .label = "Day"},
                                                     SnippetScope::global, true);
    ASSERT_TRUE(labelled.has_value());
    EXPECT_EQ(labelled->id, "builtin:d");
    EXPECT_EQ(labelled->displayName, "Day");

    EXPECT_EQ(ConfigManager::makeSnippet(ManualSnippet{.key = "  ", .expand = "x"}, SnippetScope::app, false),
              std::nullopt);
}

TEST_F(ManualSetTest, SetsAreCachedPerApplicationRootAndVersion) {
    writeGlobal(R"({"snippets": [{"key": "a", "expand": "1"}]})");
    manager.loadGlobalConfig();

    set("kitty");
    manager.mergedManualSnippets("xterm", std::nullopt);
    EXPECT_THAT(manager.mergedManualCache(), testing::SizeIs(2));
    EXPECT_TRUE(manager.mergedManualCache().contains(key("kitty", std::nullopt, 0)));
    EXPECT_TRUE(manager.mergedManualCache().contains(key("xterm", std::nullopt, 0)));

    // Served from the cache until a reload, even though the file changed.
    writeGlobal(R"({"snippets": [{"key": "a", "expand": "2"}]})");
    EXPECT_EQ(find(set(), "a")->expansion, "1");
    manager.reloadGlobalConfig();
    EXPECT_EQ(find(set(), "a")->expansion, "2");
    EXPECT_THAT(manager.mergedManualCache(), ElementsAre(testing::Key(key("kitty", std::nullopt, 1))));
}

TEST_F(ManualSetTest, SetOfAnotherRootIsNotCachedUnderThatRootsKey) {
    writeGlobal("{}");
    writeProject(R"({"snippets": [{"key": "p", "expand": "one"}]})", "one");
    writeProject(R"({"snippets": [{"key": "p", "expand": "two"}]})", "two");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot("one"));

    // Asked for "two" while "one" is loaded: the answer holds one's snippets and must not stick to "two".
    EXPECT_EQ(find(manager.mergedManualSnippets("kitty", projectRoot("two")), "p")->expansion, "one");
    EXPECT_THAT(manager.mergedManualCache(), IsEmpty());

    manager.setProjectRoot(projectRoot("two"));
    EXPECT_EQ(find(manager.mergedManualSnippets("kitty", projectRoot("two")), "p")->expansion, "two");
    EXPECT_TRUE(manager.mergedManualCache().contains(key("kitty", projectRoot("two"), 0)));

    manager.clearProjectConfig();
    EXPECT_EQ(find(manager.mergedManualSnippets("kitty", std::nullopt), "p"), nullptr);
    EXPECT_TRUE(manager.mergedManualCache().contains(key("kitty", std::nullopt, 0)));
}

TEST_F(ManualSetTest, ProjectFileEditedWhileAwayIsNotServedStaleOnReturn) {
    writeGlobal("{}");
    writeProject(R"({"snippets": [{"key": "p", "expand": "old"}]})", "a");
    writeProject("{}", "b");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot("a"));
    EXPECT_EQ(find(set(), "p")->expansion, "old");
    manager.markManualSnippetsUpdated("kitty", projectRoot("a"));

    // Only the current project's file is watched; "a" changes while "b" is current.
    manager.setProjectRoot(projectRoot("b"));
    writeProject(R"({"snippets": [{"key": "p", "expand": "new"}]})", "a");
    manager.setProjectRoot(projectRoot("a"));
    EXPECT_EQ(find(set(), "p")->expansion, "new");
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("kitty", projectRoot("a")))
        << "the registry still holds the old set";

    // Read again unchanged: the cached set stays good and the registry needs nothing.
    manager.setProjectRoot(projectRoot("a"));
    EXPECT_FALSE(manager.shouldUpdateManualSnippets("kitty", projectRoot("a")));
    EXPECT_THAT(manager.mergedManualCache(), testing::SizeIs(1));
}

TEST_F(ManualSetTest, ApplicationAndRootNamesCannotForgeAnotherKey) {
    writeGlobal(
        R"({"app_snippets": [{"bundle_id": "a|b", "app_name": "A", "snippets": [{"key": "k", "expand": "x"}]}]})");
    manager.loadGlobalConfig();
    ASSERT_NE(find(set("a|b"), "k"), nullptr);
    manager.setProjectRoot("b|nil");
    EXPECT_EQ(find(manager.mergedManualSnippets("a", std::string("b|nil")), "k"), nullptr);

    EXPECT_TRUE(manager.shouldUpdateManualSnippets("a|b", std::nullopt));
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("a", std::string("b|nil")));
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("kitty", std::nullopt));
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("kitty", std::string("nil")));
}

TEST_F(ManualSetTest, RegistryIsUpdatedOncePerApplicationRootAndVersion) {
    writeGlobal("{}");
    manager.loadGlobalConfig();

    EXPECT_TRUE(manager.shouldUpdateManualSnippets("kitty", std::nullopt));
    EXPECT_EQ(manager.lastManualUpdateKey(), key("kitty", std::nullopt, 0));
    EXPECT_FALSE(manager.shouldUpdateManualSnippets("kitty", std::nullopt));
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("kitty", std::string("/src/app")));
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("xterm", std::string("/src/app")));

    manager.markManualSnippetsUpdated("kitty", std::nullopt);
    EXPECT_FALSE(manager.shouldUpdateManualSnippets("kitty", std::nullopt));
    manager.reloadGlobalConfig();
    EXPECT_TRUE(manager.shouldUpdateManualSnippets("kitty", std::nullopt));
    EXPECT_EQ(manager.lastManualUpdateKey(), key("kitty", std::nullopt, 1));
}

TEST_F(ConfigManagerTest, ThemeComesFromTheGlobalSettingsAndThePlatform) {
    writeGlobal(R"({"settings": {"row_height": 50, "appearance": "light"}})");
    writeProject(R"({"settings": {"case_sensitive": true}})");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot());

    auto theme = manager.themeConfig();
    EXPECT_EQ(theme.rowHeight, 40);
    EXPECT_EQ(theme.appearance, PopupAppearance::light);
    EXPECT_EQ(theme.material, PopupMaterial::solid);
    capabilities->setSupportsGlass(true);
    EXPECT_EQ(manager.themeConfig().material, PopupMaterial::glass);
}

} // namespace
} // namespace korvane::test
