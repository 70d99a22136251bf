#include "configmanagerharness.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <set>

namespace korvane::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const std::vector<std::string> kDefaultCategories{"recent", "files", "app",  "manual",
                                                  "skills", "git",   "docs", "scripts"};

TEST_F(ConfigManagerTest, StartsFromDefaultsAndLoadsTheGlobalFile) {
    EXPECT_EQ(manager.globalConfig(), AppConfig{});
    EXPECT_EQ(manager.activeCategories(), kDefaultCategories);
    EXPECT_EQ(manager.configVersion(), 0u);

    writeGlobal(R"({"trigger": "::", "providers": ["git", "docs"],
                    "custom_providers": [{"id": "jira", "label": "Jira", "command": "jira"}]})");
    manager.loadGlobalConfig();

    EXPECT_EQ(manager.mergedConfig().trigger, "::");
    EXPECT_EQ(manager.mergedConfig(), MergedConfig::fromGlobal(manager.globalConfig()));
    EXPECT_THAT(manager.activeCategories(), ElementsAre("git", "docs"));
    EXPECT_EQ(manager.configVersion(), 0u);
}

TEST_F(ConfigManagerTest, OnlyReloadsRaiseTheVersionAndEachEmptiesTheManualCache) {
    writeGlobal("{}");
    writeProject("{}");
    manager.loadGlobalConfig();

    EXPECT_FALSE(manager.reloadProjectConfig());
    EXPECT_EQ(manager.configVersion(), 0u);

    manager.setProjectRoot(projectRoot());
    manager.clearProjectConfig();
    manager.setProjectRoot(projectRoot());
    EXPECT_EQ(manager.configVersion(), 0u);

    const auto fill = [&] {
        manager.mergedManualSnippets("org.gnome.Terminal", projectRoot());
        manager.markManualSnippetsUpdated("org.gnome.Terminal", projectRoot());
        ASSERT_EQ(manager.mergedManualCache().size(), 1u);
    };
    fill();
    manager.reloadGlobalConfig();
    EXPECT_EQ(manager.configVersion(), 1u);
    EXPECT_THAT(manager.mergedManualCache(), IsEmpty());
    EXPECT_EQ(manager.lastManualUpdateKey(), std::nullopt);

    fill();
    manager.reloadProjectConfig();
    EXPECT_EQ(manager.configVersion(), 2u);
    EXPECT_THAT(manager.mergedManualCache(), IsEmpty());
    EXPECT_EQ(manager.lastManualUpdateKey(), std::nullopt);
}

struct GlobalReloadCase {
    const char* name;
    const char* before;
    const char* after;
    bool changed;
};

class GlobalReloadTest : public ConfigManagerTest, public testing::WithParamInterface<GlobalReloadCase> {};

TEST_P(GlobalReloadTest, ReportsWhetherAScanIsNeeded) {
    writeGlobal(GetParam().before);
    manager.loadGlobalConfig();
    writeGlobal(GetParam().after);
    const auto result = manager.reloadGlobalConfig();
    EXPECT_EQ(result.changed, GetParam().changed);
    EXPECT_EQ(result.parseError, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GlobalReloadTest,
    testing::Values(
        GlobalReloadCase{"Unchanged", R"({"snippets": []})", R"({"snippets": []})", false},
        GlobalReloadCase{"CategoryRemoved", R"({"providers": ["git", "docs"]})", R"({"providers": ["git"]})",
                         true},
        GlobalReloadCase{"CaseSensitivityOnly", "{}", R"({"settings": {"case_sensitive": true}})", false},
        GlobalReloadCase{"FontSizeOnly", "{}", R"({"settings": {"font_size": 30, "appearance": "light"}})",
                         false},
        GlobalReloadCase{"ScanDepth", "{}", R"({"settings": {"scan_depth": 2}})", true},
        GlobalReloadCase{"IgnorePatternOrder", R"({"settings": {"ignore_patterns": ["a", "b"]}})",
                         R"({"settings": {"ignore_patterns": ["b", "a"]}})", true},
        GlobalReloadCase{"BranchAge", "{}", R"({"settings": {"max_branch_age_days": 3}})", true},
        GlobalReloadCase{"CustomCommand",
                         R"({"custom_providers": [{"id": "jira", "label": "Jira", "command": "a"}]})",
                         R"({"custom_providers": [{"id": "jira", "label": "Jira", "command": "b"}]})", true}),
    [](const testing::TestParamInfo<GlobalReloadCase>& info) { return std::string(info.param.name); });

TEST_F(ConfigManagerTest, GlobalReloadHandsBackTheParseErrorAndKeepsTheProjectMerged) {
    writeGlobal(R"({"snippets": [{"key": "g", "expand": "global"}]})");
    writeProject(R"({"snippets": [{"key": "p", "expand": "project"}]})");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot());

    writeGlobal("{ broken");
    const auto result = manager.reloadGlobalConfig();
    ASSERT_TRUE(result.parseError.has_value());
    EXPECT_EQ(result.parseError, manager.configLoader().lastParseError());
    ASSERT_EQ(manager.mergedConfig().snippets.size(), 1u);
    EXPECT_EQ(manager.mergedConfig().snippets[0].key, "p");
}

TEST_F(ConfigManagerTest, ProjectRootMergesItsFileAndClearingFallsBackToTheGlobalFile) {
    writeGlobal(R"({"snippets": [{"key": "g", "expand": "global"}]})");
    writeProject(R"({"providers": ["git"], "include_paths": ["lib"]})");
    makeProjectDir("bare");
    manager.loadGlobalConfig();

    manager.setProjectRoot(projectRoot());
    EXPECT_EQ(manager.currentConfigProjectRoot(), projectRoot());
    ASSERT_TRUE(manager.projectConfig().has_value());
    EXPECT_THAT(manager.activeCategories(), ElementsAre("git"));
    EXPECT_EQ(manager.mergedConfig().includePaths, std::vector<std::string>{"lib"});

    manager.setProjectRoot(projectRoot("bare"));
    EXPECT_EQ(manager.projectConfig(), std::nullopt);
    EXPECT_EQ(manager.mergedConfig(), MergedConfig::fromGlobal(manager.globalConfig()));
    EXPECT_EQ(manager.activeCategories(), kDefaultCategories);

    manager.setProjectRoot(projectRoot());
    manager.clearProjectConfig();
    EXPECT_EQ(manager.currentConfigProjectRoot(), std::nullopt);
    EXPECT_EQ(manager.projectConfig(), std::nullopt);
    EXPECT_EQ(manager.activeCategories(), kDefaultCategories);
}

TEST_F(ConfigManagerTest, ProjectReloadReportsChangedScanInputsAndCategories) {
    writeGlobal("{}");
    writeProject("{}");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot());

    writeProject(R"({"settings": {"case_sensitive": true}})");
    EXPECT_FALSE(manager.reloadProjectConfig());

    writeProject(R"({"settings": {"case_sensitive": true, "scan_depth": 1}})");
    EXPECT_TRUE(manager.reloadProjectConfig());

    // Switching a source on in the project must lead to a scan that fills it.
    writeProject(R"({"settings": {"case_sensitive": true, "scan_depth": 1}, "providers": ["git", "docs"]})");
    EXPECT_TRUE(manager.reloadProjectConfig());
    EXPECT_THAT(manager.activeCategories(), ElementsAre("git", "docs"));
    EXPECT_FALSE(manager.reloadProjectConfig());
}

TEST_F(ConfigManagerTest, PopupPositionPrefersTheApplicationBlockThenTheGlobalSetting) {
    writeGlobal(R"({
        "settings": {"popup_position": "center"},
        "app_snippets": [
            {"bundle_id": "kitty", "app_name": "kitty", "snippets": [], "popup_position": "top-left"},
            {"bundle_id": "xterm", "app_name": "XTerm", "snippets": [{"key": "x", "expand": "1"}]},
            {"bundle_id": "kitty", "app_name": "kitty", "snippets": [], "popup_position": "bottom-right"}
        ]})");
    manager.loadGlobalConfig();

    EXPECT_EQ(manager.popupPosition(std::string("kitty")), PopupPosition::bottomRight);
    EXPECT_EQ(manager.popupPosition(std::string("xterm")), PopupPosition::center);
    EXPECT_EQ(manager.popupPosition(std::nullopt), PopupPosition::center);
    EXPECT_THAT(manager.appPositionDict(), testing::SizeIs(1));
    EXPECT_EQ(manager.appSnippetDict().at("xterm").size(), 1u);

    writeGlobal("{}");
    manager.reloadGlobalConfig();
    EXPECT_EQ(manager.popupPosition(std::string("kitty")), PopupPosition::automatic);
    EXPECT_THAT(manager.appSnippetDict(), IsEmpty());
}

TEST_F(ConfigManagerTest, SearchContextFollowsTheActiveCategoriesAndCustomProviders) {
    writeGlobal(R"({"providers": ["git", "jira"],
                    "custom_providers": [{"id": "jira", "label": "Jira", "command": "jira", "scope": "tix"}]})");
    manager.loadGlobalConfig();

    const auto context = manager.makeSearchContext();
    EXPECT_THAT(context.activeCategories, ElementsAre("git", "jira"));
    EXPECT_TRUE(context.categoryCatalog.custom.contains("jira"));
    EXPECT_FALSE(context.disabledSources.contains(SnippetSource::custom("jira")));
    EXPECT_FALSE(context.disabledSources.contains(SnippetSource::gitRef()));
    EXPECT_TRUE(context.disabledSources.contains(SnippetSource::filePath()));
    EXPECT_THAT(context.scopeRegistry.entries({"tix"}), testing::SizeIs(1));
}

// --- project file watcher

class ProjectWatcherTest : public ConfigManagerTest {
protected:
    void SetUp() override {
        writeGlobal("{}");
        manager.loadGlobalConfig();
    }

    void switchTo(const std::string& root) {
        manager.stopProjectConfigWatcher();
        manager.setProjectRoot(root);
        manager.startProjectConfigWatcher(root, [this, root] {
            changes.push_back(root);
            manager.reloadProjectConfig();
        });
    }

    std::string file(const std::string& name) const { return projectRoot(name) + "/.korvane.json"; }

    std::vector<std::string> changes;
};

TEST_F(ProjectWatcherTest, ProjectFileChangeReachesTheCallbackAndReloads) {
    writeProject(R"({"snippets": []})");
    switchTo(projectRoot());
    ASSERT_NE(manager.projectConfigWatcher(), nullptr);

    writeProject(R"({"providers": ["git"]})");
    EXPECT_EQ(source->emit(file("project"), FileEvent::write), 1u);
    scheduler.advance(1.0);

    EXPECT_THAT(changes, ElementsAre(projectRoot()));
    EXPECT_THAT(manager.activeCategories(), ElementsAre("git"));
    EXPECT_EQ(manager.configVersion(), 1u);
}

TEST_F(ProjectWatcherTest, SwitchingProjectsStopsTheOldWatcher) {
    writeProject("{}", "one");
    writeProject("{}", "two");
    switchTo(projectRoot("one"));
    switchTo(projectRoot("two"));

    EXPECT_EQ(source->watchCount(file("one")), 0u);
    EXPECT_EQ(source->watchCount(projectRoot("one")), 0u);
    EXPECT_EQ(source->emit(file("one"), FileEvent::write), 0u);
    EXPECT_EQ(source->emit(file("two"), FileEvent::write), 1u);
    scheduler.advance(1.0);
    EXPECT_THAT(changes, ElementsAre(projectRoot("two")));
}

TEST_F(ProjectWatcherTest, RootWithoutProjectFileHasNoWatcherUntilTheNextSwitch) {
    writeProject("{}", "one");
    makeProjectDir("bare");
    switchTo(projectRoot("one"));
    switchTo(projectRoot("bare"));
    EXPECT_EQ(manager.projectConfigWatcher(), nullptr);
    EXPECT_EQ(source->watchCount(), 0u);

    writeProject("{}", "bare");
    EXPECT_EQ(manager.projectConfigWatcher(), nullptr);
    switchTo(projectRoot("bare"));
    EXPECT_NE(manager.projectConfigWatcher(), nullptr);
}

// --- providers of a project scan

class FakeProvider : public SnippetProvider {
public:
    explicit FakeProvider(std::string name)
        : name(std::move(name)) {}
    std::vector<Snippet> snippets(const std::string&) override { return {}; }
    const std::string name;
};

std::string describe(const std::vector<SnippetSource>& extractors) {
    std::string text;
    for (const auto& source : extractors) {
        text += source == SnippetSource::claudeSkill() ? "skills " : "docs ";
    }
    return text;
}

class MakeProvidersTest : public ConfigManagerTest {
protected:
    void SetUp() override {
        auto fake = [](std::string name) { return std::make_shared<FakeProvider>(std::move(name)); };
        auto& f = manager.providerFactories;
        f.manualSnippets = [fake](const std::vector<ManualSnippet>& s) {
            return fake("manual " + std::to_string(s.size()));
        };
        f.fileScanner = [this, fake](const FileScannerOptions& options) {
            scannerOptions = options;
            return fake("scanner " + describe(options.extractors) + std::to_string(options.maxDepth));
        };
        f.globalSkills = [fake] { return fake("globalSkills"); };
        f.gitRefs = [fake](std::int64_t days) { return fake("gitRefs " + std::to_string(days)); };
        f.gitRemotes = [fake] { return fake("gitRemotes"); };
        f.npmScripts = [fake] { return fake("npm"); };
        f.makeTargets = [fake] { return fake("make"); };
        f.custom = [fake](const CustomProviderConfig& c, const CommandTrust& trust) {
            return fake("custom " + c.id + " " + c.command + (trust.allowsRun() ? "" : " untrusted"));
        };
    }

    std::vector<std::string> names(const std::vector<std::shared_ptr<SnippetProvider>>& providers) const {
        std::vector<std::string> result;
        for (const auto& provider : providers) {
            result.push_back(static_cast<FakeProvider&>(*provider).name);
        }
        return result;
    }

    std::optional<FileScannerOptions> scannerOptions;
};

TEST_F(MakeProvidersTest, BuildsEveryEnabledSourceInOrderAndKeepsLiveProvidersApart) {
    writeGlobal(R"({
        "snippets": [{"key": "a", "expand": "1"}, {"key": "b", "expand": "2"}],
        "settings": {"max_branch_age_days": 30, "scan_depth": 4},
        "custom_providers": [
            {"id": "jira", "label": "Jira", "command": "jira"},
            {"id": "search", "label": "Search", "command": "find", "mode": "live"},
            {"id": "wiki", "label": "Wiki", "command": "wiki", "mode": "Live"}
        ]})");
    manager.loadGlobalConfig();

    const auto set = manager.makeProviders();
    EXPECT_THAT(names(set.providers),
                ElementsAre("manual 2", "scanner skills docs 4", "globalSkills", "gitRefs 30", "gitRemotes",
                            "npm", "make", "custom jira jira", "custom wiki wiki"));
    ASSERT_EQ(set.customLiveProviders.size(), 1u);
    EXPECT_EQ(static_cast<FakeProvider&>(*set.customLiveProviders.at("search")).name, "custom search find");
}

TEST_F(MakeProvidersTest, ScannerSkipsTheDefaultDirectoriesAndTheMergedPatterns) {
    writeGlobal(R"({"settings": {"ignore_patterns": ["vendor"]}})");
    writeProject(R"({"settings": {"ignore_patterns": ["generated"], "scan_depth": 2}})");
    manager.loadGlobalConfig();
    manager.setProjectRoot(projectRoot());

    manager.makeProviders();
    ASSERT_TRUE(scannerOptions.has_value());
    EXPECT_EQ(scannerOptions->maxDepth, 2);
    EXPECT_TRUE(scannerOptions->ignorePatterns.contains("generated"));
    EXPECT_FALSE(scannerOptions->ignorePatterns.contains("vendor"));
    for (const auto& name : skippedDirectories()) {
        EXPECT_TRUE(scannerOptions->ignorePatterns.contains(name)) << name;
    }
}

TEST_F(MakeProvidersTest, DisabledSourcesAreLeftOut) {
    writeGlobal(R"({"providers": ["docs", "manual"]})");
    manager.loadGlobalConfig();
    EXPECT_THAT(names(manager.makeProviders().providers), ElementsAre("manual 0", "scanner docs 5"));

    writeGlobal(R"({"providers": ["git"]})");
    manager.reloadGlobalConfig();
    EXPECT_THAT(names(manager.makeProviders().providers),
                ElementsAre("manual 0", "gitRefs 90", "gitRemotes"));

    writeGlobal(R"({"providers": ["skills"]})");
    manager.reloadGlobalConfig();
    EXPECT_THAT(names(manager.makeProviders().providers),
                ElementsAre("manual 0", "scanner skills 5", "globalSkills"));
}

TEST_F(MakeProvidersTest, FactoriesNotInstalledYetAreSkipped) {
    writeGlobal("{}");
    manager.loadGlobalConfig();
    manager.providerFactories.manualSnippets = nullptr;
    manager.providerFactories.fileScanner = nullptr;
    manager.providerFactories.gitRefs = [](std::int64_t) { return std::shared_ptr<SnippetProvider>(); };
    EXPECT_THAT(names(manager.makeProviders().providers),
                ElementsAre("globalSkills", "gitRemotes", "npm", "make"));
}

// Which of the user's commands and a project's the popup shows, and that exactly those are built: a command
// of the user's that config.json's own list leaves out, while it keeps a known category, is hidden as the
// settings window shows it; a project's own commands still follow the named categories.
struct CommandCase {
    const char* name;
    // The user's `providers` over the commands tickets and wiki; empty for no key.
    const char* providers;
    const char* project;
    std::vector<std::string> active;
};

constexpr const char* kTickets = R"({"id": "tickets", "label": "Tickets", "command": "tickets"})";
constexpr const char* kWiki = R"({"id": "wiki", "label": "Wiki", "command": "wiki", "mode": "live"})";

std::string userFile(const std::string& providers) {
    return R"({"custom_providers": [)" + std::string(kTickets) + ", " + kWiki + "]" +
           (providers.empty() ? "" : R"(, "providers": )" + providers) + "}";
}

class ShownCommandsTest : public MakeProvidersTest, public testing::WithParamInterface<CommandCase> {};

TEST_P(ShownCommandsTest, FollowTheUsersOwnListAndOnlyShownOnesAreBuilt) {
    writeGlobal(userFile(GetParam().providers));
    manager.loadGlobalConfig();
    if (GetParam().project) {
        writeProject(GetParam().project);
        manager.setProjectRoot(projectRoot());
    }
    EXPECT_EQ(manager.activeCategories(), GetParam().active);

    std::set<std::string> shownCommands;
    for (const auto& id : GetParam().active) {
        if (std::find(kDefaultCategories.begin(), kDefaultCategories.end(), id) == kDefaultCategories.end()) {
            shownCommands.insert(id);
        }
    }
    const auto set = manager.makeProviders();
    std::set<std::string> built;
    for (const auto& name : names(set.providers)) {
        if (name.starts_with("custom ")) {
            built.insert(name.substr(7, name.find(' ', 7) - 7));
        }
    }
    for (const auto& [id, provider] : set.customLiveProviders) {
        built.insert(id);
    }
    EXPECT_EQ(built, shownCommands);
    const auto context = manager.makeSearchContext();
    for (const auto& [id, definition] : context.categoryCatalog.custom) {
        EXPECT_EQ(context.disabledSources.contains(SnippetSource::custom(id)), !shownCommands.contains(id))
            << id;
    }
}

std::vector<std::string> defaultsAnd(std::vector<std::string> tail) {
    auto ids = kDefaultCategories;
    ids.insert(ids.end(), tail.begin(), tail.end());
    return ids;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShownCommandsTest,
    testing::Values(
        CommandCase{"NoListShowsEveryCommand", "", nullptr, defaultsAnd({"tickets", "wiki"})},
        CommandCase{"EmptyListShowsEveryCommand", "[]", nullptr, defaultsAnd({"tickets", "wiki"})},
        CommandCase{"UnknownIdsOnlyShowEveryCommand", R"(["nonsense", "Git"])", nullptr,
                    defaultsAnd({"tickets", "wiki"})},
        CommandCase{"NamedCommandsKeepTheirPlace",
                    R"(["wiki", "git", "tickets", "wiki"])",
                    nullptr,
                    {"wiki", "git", "tickets"}},
        CommandCase{"CommandsLeftOutAreHidden", R"(["git", "docs", "nonsense"])", nullptr, {"git", "docs"}},
        CommandCase{"ACommandAloneHidesTheOther", R"(["tickets"])", nullptr, {"tickets"}},
        CommandCase{"ProjectCommandsFollowTheNamedOnes",
                    R"(["git"])",
                    R"({"custom_providers": [{"id": "services", "label": "Services", "command": "ls"}]})",
                    {"git", "services"}},
        CommandCase{"ProjectListNamingAUsersCommandShowsIt",
                    R"(["git"])",
                    R"({"providers": ["files", "wiki"]})",
                    {"files", "wiki"}},
        CommandCase{"ProjectListLeavingAHiddenCommandOutKeepsItHidden",
                    R"(["git"])",
                    R"({"providers": ["files"]})",
                    {"files"}},
        CommandCase{"ProjectListLeavingAShownCommandOutAppendsIt",
                    R"(["git", "tickets"])",
                    R"({"providers": ["files"]})",
                    {"files", "tickets"}},
        CommandCase{"ProjectEmptyListKeepsTheUsersHiddenOnesHidden", R"(["git", "wiki"])",
                    R"({"providers": []})", defaultsAnd({"wiki"})},
        CommandCase{"ProjectCommandReplacingAUsersIsTheProjects",
                    R"(["git"])",
                    R"({"custom_providers": [{"id": "tickets", "label": "Ours", "command": "ours"}]})",
                    {"git", "tickets"}}),
    [](const testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvane::test
