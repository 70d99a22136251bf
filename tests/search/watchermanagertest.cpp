#include "search/watchermanager.h"

#include "platform/fake/manualscheduler.h"
#include "config/categorycatalog.h"
#include "platform/fake/fakefilewatchsource.h"
#include "providers/filescanner.h"
#include "providers/maketargetprovider.h"
#include "providers/npmscriptprovider.h"
#include "providers/projectproviderfactories.h"
#include "search/fakeproviders.h"
#include "support/tempdir.h"

#include <gmock/gmock.h>

#include <fstream>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::CountingProvider;
using test::idsOf;
using test::makeSnippet;
using testing::ElementsAre;
using testing::IsEmpty;

const SnippetSource skill = SnippetSource::claudeSkill();
const SnippetSource npm = SnippetSource::npmScript();
const SnippetSource make = SnippetSource::makeTarget();
const SnippetSource doc = SnippetSource::aiDoc();

class CountDisplay final : public SnippetCountDisplay {
public:
    void setSnippetCount(std::size_t count) override { counts.push_back(count); }
    std::vector<std::size_t> counts;
};

// Writes a file and moves its modification time on, so that every edit has a date of its own.
void edit(const fs::path& path, const std::string& contents) {
    static int step = 0;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << contents;
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(++step));
}

// A watcher manager over a real project folder and skill folders, with injected watch events.
struct Harness {
    Harness() {
        scheduler.attachClock(&clock);
        edit(project.path() / "package.json", R"({"scripts": {"build": "make"}})");
        edit(project.path() / "Makefile", "all:\n\techo\n");
        edit(project.path() / "README.md", "# Demo\n");
        edit(project.path() / ".claude/skills/deploy/SKILL.md", "---\nname: deploy\n---\n");
        edit(project.path() / ".korvane.json", "{}");
        edit(home.path() / ".codex/skills/lint/SKILL.md", "---\nname: lint\n---\n");

        WatcherManager::Sources sources;
        sources.globalSkills = std::make_shared<GlobalSkillProvider>(
            std::vector<fs::path>{home.path() / ".claude/skills", home.path() / ".codex/skills"});
        sources.fileScanner = [this](const FileScannerOptions& options) -> std::shared_ptr<SnippetProvider> {
            auto scanner = std::make_shared<CountingProvider>(std::make_shared<FileScanner>(
                makeFileExtractors(options.extractors), options.ignorePatterns, options.maxDepth));
            scanners.push_back(scanner);
            return scanner;
        };
        sources.npmScripts = npm;
        sources.makeTargets = make;
        manager = std::make_shared<WatcherManager>(registry, display, scheduler, watches, sources);
        manager->isScanInFlight = [this] { return scanning; };
        manager->getCurrentProjectRoot = [this] { return currentRoot; };
        manager->enabledSourcesSnapshot = [this] {
            return EnabledSourcesPolicy::resolve(categories, CategoryCatalog::makeSnapshot({}));
        };
        manager->onSourceRefreshed = [this] { ++refreshed; };
    }

    // Calls of each refresh, in the order skills, documents (counted by applications), npm, make.
    std::vector<int> calls() const {
        int skillScans = 0;
        for (const auto& scanner : scanners) {
            skillScans += scanner->calls;
        }
        return {skillScans, npm->calls, make->calls};
    }

    FakeClock clock;
    ManualScheduler scheduler;
    test::TempDir home;
    test::TempDir project;
    const std::string root = project.path().string();
    std::shared_ptr<FakeFileWatchSource> watches = std::make_shared<FakeFileWatchSource>();
    std::shared_ptr<SnippetRegistry> registry = std::make_shared<SnippetRegistry>(clock);
    std::shared_ptr<CountDisplay> display = std::make_shared<CountDisplay>();
    std::shared_ptr<CountingProvider> npm = std::make_shared<CountingProvider>(std::make_shared<NpmScriptProvider>());
    std::shared_ptr<CountingProvider> make = std::make_shared<CountingProvider>(std::make_shared<MakeTargetProvider>());
    std::vector<std::shared_ptr<CountingProvider>> scanners;
    std::shared_ptr<WatcherManager> manager;
    std::vector<std::string> categories = defaultActiveCategories();
    std::optional<std::string> currentRoot = root;
    bool scanning = false;
    int refreshed = 0;
};

TEST(WatcherManagerTest, EachEditedFileRefreshesExactlyTheSourceItFeeds) {
    const struct {
        const char* file;
        std::string contents;
        // Where the system reports the change: the watched path and the entry name.
        const char* watched;
        const char* entry;
        std::vector<int> calls; // skill scans, npm, make
        std::vector<SnippetSource> refreshedSources;
    } cases[] = {
        {"package.json", R"({"scripts": {"test": "jest"}})", "package.json", "", {0, 1, 0}, {npm}},
        {"Makefile", "lint:\n\techo\n", "", "Makefile", {0, 0, 1}, {make}},
        {".claude/skills/ship/SKILL.md", "---\nname: ship\n---\n", ".claude/skills", "ship", {1, 0, 0}, {skill}},
        {"README.md", "# Renamed\n", "", "README.md", {0, 0, 0}, {doc}},
        {".korvane.json", R"({"snippets": []})", "", ".korvane.json", {0, 0, 0}, {}},
    };
    for (const auto& c : cases) {
        Harness h;
        h.manager->startProjectWatchers(h.root);
        ASSERT_EQ(h.manager->projectWatchers().size(), 4u);
        edit(h.project.path() / c.file, c.contents);
        const std::string watched = c.watched[0] ? h.root + "/" + c.watched : h.root;
        ASSERT_GT(h.watches->emit(watched, FileEvent::write, c.entry), 0u) << c.file;
        h.scheduler.advance(1.0);
        EXPECT_EQ(h.calls(), c.calls) << c.file;
        EXPECT_EQ(h.refreshed, static_cast<int>(c.refreshedSources.size())) << c.file;
        for (const auto& source : {skill, npm, make, doc}) {
            const bool expected =
                std::find(c.refreshedSources.begin(), c.refreshedSources.end(), source) != c.refreshedSources.end();
            EXPECT_EQ(!idsOf(*h.registry, source).empty(), expected) << c.file << " " << source.badgeLabel();
        }
        if (h.refreshed > 0) {
            EXPECT_EQ(h.display->counts.back(), h.registry->indexedSnippets().size());
        }
    }
}

TEST(WatcherManagerTest, ChangesDuringAScanAreRefreshedOnceAfterItForTheRootCurrentThen) {
    Harness h;
    h.manager->startProjectWatchers(h.root);
    h.scanning = true;
    for (int i = 0; i < 3; ++i) {
        edit(h.project.path() / "package.json", R"({"scripts": {"v)" + std::to_string(i) + R"(": "x"}})");
        h.watches->emit(h.root + "/package.json", FileEvent::write);
        h.scheduler.advance(1.0);
    }
    edit(h.project.path() / "README.md", "# Changed\n");
    h.watches->emit(h.root, FileEvent::write, "README.md");
    h.scheduler.advance(1.0);
    EXPECT_EQ(h.npm->calls, 0);
    EXPECT_EQ(h.manager->dirtyWatcherSources().size(), 2u);

    h.scanning = false;
    h.manager->refreshDirtySources(h.root);
    h.scheduler.runUntilIdle();
    EXPECT_EQ(h.npm->calls, 1);
    EXPECT_THAT(idsOf(*h.registry, npm), ElementsAre("npm:v2"));
    EXPECT_EQ(idsOf(*h.registry, doc).size(), 1u);
    EXPECT_THAT(h.manager->dirtyWatcherSources(), IsEmpty());

    // Without a root only the skills are refreshed: the document mark is dropped.
    h.scanning = true;
    edit(h.project.path() / "README.md", "# Again\n");
    h.watches->emit(h.root, FileEvent::write, "README.md");
    edit(h.project.path() / ".claude/skills/ship/SKILL.md", "---\nname: ship\n---\n");
    h.watches->emit(h.root + "/.claude/skills", FileEvent::write, "ship");
    h.scheduler.advance(1.0);
    h.currentRoot.reset();
    h.registry->updateSnippets(doc, {});
    h.manager->refreshDirtySources(std::nullopt);
    h.scheduler.runUntilIdle();
    EXPECT_THAT(idsOf(*h.registry, skill), ElementsAre("skill:lint"));
    EXPECT_THAT(idsOf(*h.registry, doc), IsEmpty());
}

TEST(WatcherManagerTest, ARefreshForAProjectLeftMeanwhileIsDropped) {
    Harness h;
    h.manager->startProjectWatchers(h.root);
    h.make->onCall = [&h] { h.currentRoot = "/elsewhere"; };
    edit(h.project.path() / "Makefile", "lint:\n");
    h.watches->emit(h.root, FileEvent::write, "Makefile");
    h.scheduler.advance(1.0);
    EXPECT_EQ(h.make->calls, 1);
    EXPECT_THAT(idsOf(*h.registry, make), IsEmpty());
    EXPECT_EQ(h.refreshed, 0);
}

TEST(WatcherManagerTest, ProjectSkillsComeFirstAndHideGlobalSkillsOfTheSameLabel) {
    Harness h;
    edit(h.home.path() / ".codex/skills/deploy/SKILL.md", "---\nname: deploy\ndescription: global\n---\n");
    h.manager->startGlobalSkillWatchers();
    h.manager->startProjectWatchers(h.root);
    ASSERT_EQ(h.manager->globalSkillWatchers().size(), 1u); // only .codex/skills exists

    // A project skill change before the global skills were ever read: the project's skills alone.
    h.watches->emit(h.root + "/.claude/skills", FileEvent::write, "deploy");
    h.scheduler.advance(0.5);
    EXPECT_THAT(idsOf(*h.registry, skill), ElementsAre("skill:deploy"));

    h.watches->emit(h.home.path().string() + "/.codex/skills", FileEvent::write, "lint");
    h.scheduler.advance(0.5);
    EXPECT_THAT(idsOf(*h.registry, skill), ElementsAre("skill:deploy", "skill:lint"));
    for (const auto& entry : h.registry->indexedSnippets()) {
        if (entry.snippet().id == "skill:deploy") {
            EXPECT_FALSE(entry.snippet().metadata && entry.snippet().metadata->count("global"));
        }
    }

    // A global change without a project: the global skills alone.
    h.currentRoot.reset();
    h.watches->emit(h.home.path().string() + "/.codex/skills", FileEvent::write, "lint");
    h.scheduler.advance(0.5);
    EXPECT_THAT(idsOf(*h.registry, skill), ElementsAre("skill:deploy", "skill:lint"));
    for (const auto& entry : h.registry->indexedSnippets()) {
        EXPECT_TRUE(entry.snippet().source != skill || entry.snippet().metadata->at("global") == "true");
    }
}

TEST(WatcherManagerTest, DisabledSourcesGetNoWatchersAndTheirMarksAreDropped) {
    Harness h;
    h.scanning = true;
    h.manager->startProjectWatchers(h.root);
    edit(h.project.path() / ".claude/skills/ship/SKILL.md", "---\nname: ship\n---\n");
    h.watches->emit(h.root + "/.claude/skills", FileEvent::write, "ship");
    h.scheduler.advance(0.5);
    ASSERT_EQ(h.manager->dirtyWatcherSources().size(), 1u);

    h.categories = {"files", "docs"};
    h.manager->startGlobalSkillWatchers();
    h.manager->startProjectWatchers(h.root);
    EXPECT_THAT(h.manager->globalSkillWatchers(), IsEmpty());
    EXPECT_EQ(h.manager->projectWatchers().size(), 1u); // the documents watcher
    h.scanning = false;
    h.manager->refreshDirtySources(h.root);
    h.scheduler.runUntilIdle();
    EXPECT_EQ(h.calls(), (std::vector<int>{0, 0, 0}));
    EXPECT_THAT(idsOf(*h.registry, skill), IsEmpty());

    // Stopping the project watchers leaves none; the removed document then yields nothing.
    h.manager->stopAllWatchers();
    EXPECT_EQ(h.watches->watchCount(h.root), 0u);
}

TEST(WatcherManagerTest, ADeletedDocumentLosesItsDateAndItsSnippet) {
    Harness h;
    h.manager->startProjectWatchers(h.root);
    h.currentRoot = h.root;
    edit(h.project.path() / "CLAUDE.md", "# Agents\n");
    h.watches->emit(h.root, FileEvent::write, "CLAUDE.md");
    h.scheduler.advance(0.5);
    EXPECT_THAT(idsOf(*h.registry, doc), ElementsAre("aidoc:claude.md", "aidoc:readme.md"));

    fs::remove(h.project.path() / "CLAUDE.md");
    h.watches->emit(h.root, FileEvent::write, "CLAUDE.md");
    h.scheduler.advance(0.5);
    EXPECT_THAT(idsOf(*h.registry, doc), ElementsAre("aidoc:readme.md"));
    // Nothing changed since: an unrelated entry change refreshes nothing.
    const int before = h.refreshed;
    h.watches->emit(h.root, FileEvent::write, "notes.txt");
    h.scheduler.advance(1.0);
    EXPECT_EQ(h.refreshed, before);
}

} // namespace
} // namespace korvane
