#include "search/scanpipeline.h"

#include "platform/fake/manualscheduler.h"
#include "platform/fake/manualworkerpool.h"
#include "platform/fake/fakeprocessrunner.h"
#include "providers/customprovider.h"
#include "providers/globalskillprovider.h"
#include "search/fakeproviders.h"
#include "support/logcapture.h"
#include "support/tempdir.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <numeric>

namespace korvane {
namespace {

using test::allIds;
using test::FakeProvider;
using test::idsOf;
using test::makeSnippet;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;

const SnippetSource skill = SnippetSource::claudeSkill();
const SnippetSource npm = SnippetSource::npmScript();
const SnippetSource make = SnippetSource::makeTarget();
const SnippetSource doc = SnippetSource::aiDoc();
const SnippetSource manual = SnippetSource::manual();

// One pipeline with virtual time, a held-back scan pool and the callbacks recorded.
struct Harness {
    Harness() {
        scheduler.attachClock(&clock);
        registry->updateSnippets(manual, {makeSnippet("manual:keep", manual)});
        pipeline->onScanProgress = [this](std::size_t count) { progress.push_back(count); };
        pipeline->onScanCompleted = [this] { ++completed; };
        pipeline->onScanFinished = [this] { ++finished; };
    }

    // Runs the waiting provider job at `index` and delivers its result.
    void finishJob(std::size_t index) {
        pool.runJob(index);
        scheduler.runUntilIdle();
    }
    void finishAll() {
        pool.runAll();
        scheduler.runUntilIdle();
    }

    FakeClock clock;
    ManualScheduler scheduler;
    ManualWorkerPool pool;
    std::shared_ptr<SnippetRegistry> registry = std::make_shared<SnippetRegistry>(clock);
    std::shared_ptr<ScanPipeline> pipeline = std::make_shared<ScanPipeline>(registry, scheduler, pool, clock);
    std::vector<std::size_t> progress;
    int completed = 0;
    int finished = 0;
};

std::shared_ptr<FakeProvider> provider(const std::string& root, std::vector<Snippet> snippets) {
    return std::make_shared<FakeProvider>(std::map<std::string, std::vector<Snippet>>{{root, std::move(snippets)}});
}

TEST(ScanPipelineTest, AppliesEachResultAsItArrivesWhateverTheOrderAndEndsTheSame) {
    const std::vector<std::vector<Snippet>> results{
        {makeSnippet("skill:p:deploy", skill, "deploy"), makeSnippet("skill:g:deploy", skill, "deploy", true),
         makeSnippet("skill:g:lint", skill, "lint", true)},
        {makeSnippet("npm:build", npm), makeSnippet("manual:ignored", manual)},
        {makeSnippet("npm:extra", npm), makeSnippet("make:all", make)},
    };
    // What the registry must hold once the providers in `done` have answered.
    const auto expected = [&](const std::vector<std::size_t>& done) {
        std::vector<std::string> ids{"manual:keep"};
        for (const auto index : done) {
            for (const auto& snippet : results[index]) {
                if (snippet.source != manual && snippet.id != "skill:g:deploy") {
                    ids.push_back(snippet.id);
                }
            }
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    };

    std::vector<std::size_t> order{0, 1, 2};
    do {
        Harness h;
        for (const auto& result : results) {
            h.pipeline->providers.push_back(provider("/p", result));
        }
        h.pipeline->scanProject("/p");
        EXPECT_TRUE(h.pipeline->scanInFlight);
        std::vector<std::size_t> done;
        for (const auto index : order) {
            // Jobs keep their queue position relative to each other: count the finished ones before it.
            const auto position =
                index - static_cast<std::size_t>(std::count_if(done.begin(), done.end(), [&](auto d) { return d < index; }));
            h.finishJob(position);
            done.push_back(index);
            EXPECT_EQ(allIds(*h.registry), expected(done));
        }
        EXPECT_FALSE(h.pipeline->scanInFlight);
        EXPECT_EQ(h.completed, 1);
        EXPECT_EQ(h.finished, 1);
        EXPECT_EQ(h.registry->currentProjectRoot, "/p");
        // One report for the switch, one per answered provider.
        EXPECT_EQ(h.progress.size(), 4u);
        EXPECT_EQ(h.progress.back(), h.registry->indexedSnippets().size());
        const auto cached = h.pipeline->snippetCache.cache().at("/p");
        EXPECT_FALSE(cached.contains(manual));
        EXPECT_EQ(cached.at(skill).front().id, "skill:p:deploy");
        EXPECT_EQ(cached.at(skill).size(), 2u);
        EXPECT_EQ(cached.at(npm).size(), 2u);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(ScanPipelineTest, ARescanOfTheSameRootKeepsWhatItShowsUntilTheFinalStepEmptiesWhatIsGone) {
    Harness h;
    auto docs = provider("/p", {makeSnippet("aidoc:readme.md", doc)});
    auto scripts = provider("/p", {makeSnippet("npm:build", npm)});
    h.pipeline->providers = {docs, scripts};
    h.pipeline->scanProject("/p");
    h.finishAll();
    ASSERT_THAT(idsOf(*h.registry, doc), ElementsAre("aidoc:readme.md"));

    docs->set("/p", {});
    scripts->set("/p", {});
    h.clock.advance(6.0);
    h.pipeline->scanProject("/p");
    EXPECT_THAT(idsOf(*h.registry, doc), ElementsAre("aidoc:readme.md"));
    h.registry->updateSnippets(SnippetSource::filePath(), {makeSnippet("file:a", SnippetSource::filePath())});
    h.finishJob(0);
    EXPECT_THAT(idsOf(*h.registry, npm), ElementsAre("npm:build"));
    h.finishJob(0);
    EXPECT_THAT(allIds(*h.registry), ElementsAre("file:a", "manual:keep"));
    EXPECT_EQ(h.completed, 2);
}

TEST(ScanPipelineTest, AScanReplacedByAProjectSwitchNeverApplies) {
    Harness h;
    auto first = std::make_shared<FakeProvider>(std::map<std::string, std::vector<Snippet>>{
        {"/a", {makeSnippet("npm:a", npm)}}, {"/b", {makeSnippet("npm:b", npm)}}});
    h.pipeline->providers = {first};
    h.pipeline->scanProject("/a");
    h.pipeline->scanProject("/b");
    EXPECT_EQ(h.pipeline->scanGeneration, 2);

    h.finishJob(0); // the scan of /a answers late
    EXPECT_THAT(idsOf(*h.registry, npm), IsEmpty());
    EXPECT_TRUE(h.pipeline->scanInFlight);
    EXPECT_EQ(h.completed + h.finished, 0);
    EXPECT_FALSE(h.pipeline->snippetCache.get("/a"));

    h.finishJob(0);
    EXPECT_THAT(idsOf(*h.registry, npm), ElementsAre("npm:b"));
    EXPECT_FALSE(h.pipeline->scanInFlight);
    EXPECT_EQ(h.completed, 1);
    EXPECT_EQ(h.registry->currentProjectRoot, "/b");
}

TEST(ScanPipelineTest, SwitchingBackToACachedProjectShowsOnlyItsSnippetsAtOnceThenRescans) {
    Harness h;
    auto scripts = std::make_shared<FakeProvider>(std::map<std::string, std::vector<Snippet>>{
        {"/a", {makeSnippet("npm:a", npm)}}, {"/b", {makeSnippet("npm:b", npm)}}});
    auto targets = provider("/b", {makeSnippet("make:b", make)});
    h.pipeline->providers = {scripts, targets};
    h.pipeline->scanProject("/a");
    h.finishAll();
    h.pipeline->scanProject("/b");
    h.finishAll();
    ASSERT_THAT(idsOf(*h.registry, make), ElementsAre("make:b"));

    // /a had no make targets: those of /b must go at once, not only after the rescan.
    h.pipeline->scanProject("/a");
    EXPECT_THAT(allIds(*h.registry), ElementsAre("manual:keep", "npm:a"));
    EXPECT_EQ(h.registry->currentProjectRoot, "/a");
    EXPECT_EQ(h.progress.back(), 2u);
    EXPECT_THAT(h.pipeline->snippetCache.accessOrder(), ElementsAre("/b", "/a"));
    EXPECT_TRUE(h.pipeline->scanInFlight);

    scripts->set("/a", {makeSnippet("npm:a2", npm)});
    h.finishAll();
    EXPECT_THAT(allIds(*h.registry), ElementsAre("manual:keep", "npm:a2"));
    EXPECT_EQ(h.completed, 3);
}

TEST(ScanPipelineTest, ACustomProviderRemovedFromTheConfigurationDoesNotComeBackFromTheCache) {
    Harness h;
    auto processes = std::make_shared<FakeProcessRunner>();
    processes->respond("print-tools", {0, "hammer\thammer\n"});
    CustomProviderConfig config;
    config.id = "tools";
    config.label = "Tools";
    config.command = "print-tools";
    auto custom = std::make_shared<CustomProvider>(config, std::make_shared<ShellCommandRunner>(processes),
                                                   CommandTrust{}, h.clock);
    auto scripts = provider("/a", {makeSnippet("npm:a", npm)});
    h.pipeline->providers = {custom, scripts};
    h.pipeline->scanProject("/a");
    h.finishAll();
    ASSERT_EQ(idsOf(*h.registry, SnippetSource::custom("tools")).size(), 1u);
    h.pipeline->scanProject("/b");
    h.finishAll();

    // The configuration drops the provider; the shell empties its source on reload.
    h.pipeline->providers = {scripts};
    h.registry->updateSnippets(SnippetSource::custom("tools"), {});
    h.pipeline->scanProject("/a");
    EXPECT_THAT(allIds(*h.registry), ElementsAre("manual:keep", "npm:a"));
    h.finishAll();
    EXPECT_THAT(allIds(*h.registry), ElementsAre("manual:keep", "npm:a"));
}

// A project read with nothing of it kept: what the built-in providers fill is on its way until all of
// them have answered, a user's command's own source until it has; nothing is while kept rows show.
TEST(ScanPipelineTest, TheSourcesOnTheirWayAreThoseOfProvidersThatHaveNotAnswered) {
    Harness h;
    auto processes = std::make_shared<FakeProcessRunner>();
    CustomProviderConfig config;
    config.id = "tools";
    config.label = "Tools";
    config.command = "print-tools";
    h.pipeline->providers = {provider("/a", {makeSnippet("npm:a", npm)}), provider("/a", {}),
                             std::make_shared<CustomProvider>(config, std::make_shared<ShellCommandRunner>(processes),
                                                              CommandTrust{}, h.clock)};
    const auto& builtIn = ScanPipeline::replaceableSources();
    std::unordered_set<SnippetSource> everything(builtIn.begin(), builtIn.end());
    everything.insert(SnippetSource::custom("tools"));
    using Sources = std::unordered_set<SnippetSource>;
    EXPECT_EQ(h.pipeline->loadingSources(), Sources{}) << "nothing is read";

    h.pipeline->scanProject("/a");
    EXPECT_EQ(h.pipeline->loadingSources(), everything);
    h.finishJob(2);
    EXPECT_EQ(h.pipeline->loadingSources(), Sources(builtIn.begin(), builtIn.end())) << "the command answered";
    h.finishJob(0);
    EXPECT_EQ(h.pipeline->loadingSources(), Sources(builtIn.begin(), builtIn.end())) << "a built-in one waits";
    h.finishJob(0);
    EXPECT_EQ(h.pipeline->loadingSources(), Sources{});

    h.pipeline->scanProject("/b");
    h.finishJob(0);
    h.finishJob(0);
    EXPECT_EQ(h.pipeline->loadingSources(), Sources{SnippetSource::custom("tools")});
    h.finishAll();
    // Back to /a: its kept rows show while it is read again.
    h.pipeline->scanProject("/a");
    EXPECT_TRUE(h.pipeline->scanInFlight);
    EXPECT_EQ(h.pipeline->loadingSources(), Sources{});
    h.finishAll();

    // A project left before its scan starts (a change at a trigger, finished after the popup's frame).
    h.registry->removeSnippets();
    h.pipeline->scanGeneration += 1;
    h.pipeline->scanInFlight = true;
    EXPECT_EQ(h.pipeline->loadingSources(), everything);
}

// The stamp of what a project's sources stand on, taken as each scan of it begins: the sources moved
// when it changed since the last scan, of that root only.
TEST(ScanPipelineTest, TheSourcesMovedWhenTheirStampChangedSinceTheRootWasLastScanned) {
    Harness h;
    std::map<std::string, std::uint64_t> stamps{{"/a", 1}, {"/b", 1}};
    h.pipeline->providers = {provider("/a", {makeSnippet("npm:a", npm)})};
    h.pipeline->scanProject("/a");
    stamps["/a"] = 2;
    EXPECT_FALSE(h.pipeline->sourcesMoved("/a")) << "nothing stamps";

    h.pipeline->sourcesStamp = [&](const std::string& root) { return stamps.at(root); };
    h.pipeline->scanProject("/b");
    h.finishAll();
    EXPECT_FALSE(h.pipeline->sourcesMoved("/b"));
    EXPECT_FALSE(h.pipeline->sourcesMoved("/a")) << "not the root last scanned";
    stamps["/b"] = 2;
    EXPECT_TRUE(h.pipeline->sourcesMoved("/b"));
    h.pipeline->scanProviders(h.pipeline->providers, std::string("/b"));
    EXPECT_FALSE(h.pipeline->sourcesMoved("/b")) << "read again as it now stands";
}

TEST(ScanPipelineTest, TheCooldownCountsOnTheMonotonicClock) {
    const struct {
        double after;
        double wallStep; // the wall clock jumps by this much (negative: backwards)
        bool scansAgain;
    } cases[] = {
        {2.0, 0.0, false},
        {4.99, 0.0, false},
        {5.0, 0.0, true},
        {6.0, 0.0, true},
        {6.0, -3600.0, true},
        {2.0, 3600.0, false},
    };
    for (const auto& c : cases) {
        Harness h;
        h.pipeline->providers = {provider("/p", {makeSnippet("npm:a", npm)})};
        h.pipeline->scanProject("/p");
        h.finishAll();
        h.clock.setNow(h.clock.now() + std::chrono::seconds(static_cast<long>(c.wallStep)));
        h.clock.advance(c.after);
        h.pipeline->scanProject("/p");
        EXPECT_EQ(h.pipeline->scanGeneration, c.scansAgain ? 2 : 1) << c.after << " " << c.wallStep;
        EXPECT_EQ(h.pipeline->scanInFlight, c.scansAgain);
        // The same root after the cooldown neither clears nor reapplies before its results.
        EXPECT_THAT(idsOf(*h.registry, npm), ElementsAre("npm:a"));
    }
}

TEST(ScanPipelineTest, AProviderThatThrowsOrHangsDoesNotStopTheOthers) {
    test::LogCapture lines;
    Harness h;
    auto throwing = std::make_shared<FakeProvider>(std::map<std::string, std::vector<Snippet>>{}, true);
    auto hanging = provider("/p", {makeSnippet("make:late", make)});
    auto scripts = provider("/p", {makeSnippet("npm:build", npm)});
    h.pipeline->providers = {throwing, hanging, scripts};
    h.pipeline->scanProject("/p");
    h.finishJob(0);
    h.finishJob(1); // scripts; the hanging job (now at 0) never returns
    EXPECT_THAT(idsOf(*h.registry, npm), ElementsAre("npm:build"));
    EXPECT_TRUE(h.pipeline->scanInFlight);
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Snippet provider failed for /p: provider failed"));

    h.scheduler.advance(ScanPipeline::scanTimeLimit);
    EXPECT_FALSE(h.pipeline->scanInFlight);
    EXPECT_EQ(h.completed, 1);
    EXPECT_THAT(allIds(*h.registry), ElementsAre("manual:keep", "npm:build"));

    h.finishJob(0); // too late: the scan is over
    EXPECT_THAT(idsOf(*h.registry, make), IsEmpty());
    EXPECT_EQ(h.completed, 1);
}

TEST(ScanPipelineTest, ReRunningProvidersAppliesOnceInProviderOrder) {
    Harness h;
    auto second = provider("/p", {makeSnippet("skill:g:deploy", skill, "deploy", true)});
    auto first = provider("/p", {makeSnippet("skill:p:deploy", skill, "deploy")});
    h.registry->updateSnippets(doc, {makeSnippet("aidoc:old", doc)});
    h.pipeline->scanProviders({first, second}, "/p");
    h.finishJob(1);
    EXPECT_THAT(idsOf(*h.registry, skill), IsEmpty());
    h.finishJob(0);
    // The project skill hides the global one although it answered last; unproduced sources are emptied.
    EXPECT_THAT(idsOf(*h.registry, skill), ElementsAre("skill:p:deploy"));
    EXPECT_THAT(idsOf(*h.registry, doc), IsEmpty());
    EXPECT_EQ(h.completed, 1);
    EXPECT_EQ(h.pipeline->snippetCache.cache().at("/p").at(skill).size(), 1u);
    EXPECT_FALSE(h.pipeline->lastScanRoot);

    // A stale re-run only says it finished.
    h.pipeline->scanProviders({first}, "/p");
    h.pipeline->scanProviders({first}, "/p");
    h.finishJob(0);
    EXPECT_EQ(h.completed, 1);
    EXPECT_EQ(h.finished, 2);
    h.finishJob(0);
    EXPECT_EQ(h.completed, 2);
}

TEST(ScanPipelineTest, ReRunningWithoutARootRereadsOnlyTheGlobalSkills) {
    Harness h;
    test::TempDir home;
    home.write("skills/review/SKILL.md", "---\nname: review\n---\n");
    auto global = std::make_shared<GlobalSkillProvider>(std::vector<std::filesystem::path>{home.path() / "skills"});
    auto other = provider("/p", {makeSnippet("npm:a", npm)});
    ASSERT_THAT(global->snippets(""), testing::SizeIs(1));
    home.write("skills/lint/SKILL.md", "---\nname: lint\n---\n");

    h.pipeline->scanProviders({other, global}, std::nullopt);
    h.finishAll();
    EXPECT_THAT(idsOf(*h.registry, skill), ElementsAre("skill:lint", "skill:review"));
    EXPECT_EQ(other->calls, 0);
    EXPECT_TRUE(h.pipeline->snippetCache.cache().empty());
    EXPECT_EQ(h.completed, 1);
}

TEST(ProjectSnippetCacheTest, KeepsTheFiveMostRecentlyStoredOrLookedUpRoots) {
    ProjectSnippetCache cache;
    const auto entry = [](const std::string& id) {
        return ProjectSnippetCache::Entry{{npm, {makeSnippet(id, npm)}}};
    };
    for (const std::string root : {"A", "B", "C", "D", "E"}) {
        cache.store(root, entry(root));
    }
    EXPECT_TRUE(cache.get("A"));
    EXPECT_FALSE(cache.get("Z"));
    cache.store("F", entry("F"));
    EXPECT_THAT(cache.accessOrder(), ElementsAre("C", "D", "E", "A", "F"));
    EXPECT_FALSE(cache.cache().contains("B"));

    cache.store("C", entry("C2"));
    EXPECT_THAT(cache.accessOrder(), ElementsAre("D", "E", "A", "F", "C"));
    EXPECT_EQ(cache.get("C")->at(npm).front().id, "C2");
    cache.store("G", entry("G"));
    cache.store("/p/", entry("slash"));
    EXPECT_EQ(cache.cache().size(), 5u);
    EXPECT_FALSE(cache.get("/p"));
}

} // namespace
} // namespace korvane
