#include "detail/detailpreviewcontroller.h"

#include "detail/previewcontentservice.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/fakethumbnaildecoder.h"
#include "platform/fake/manualscheduler.h"
#include "popup/popupviewmodel.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using detailpanel::DetailPreviewController;
using SnippetPtr = std::shared_ptr<const Snippet>;

SnippetPtr snippet(std::string id, SnippetSource source = SnippetSource::claudeSkill(),
                   std::map<std::string, std::string> metadata = {}) {
    Snippet s;
    s.id = id;
    s.label = id;
    s.expansion = "x";
    s.source = std::move(source);
    if (!metadata.empty()) {
        s.metadata = std::move(metadata);
    }
    return std::make_shared<const Snippet>(std::move(s));
}

std::vector<SearchResult> resultsOf(const std::vector<SnippetPtr>& snippets) {
    std::vector<SearchResult> results;
    for (const auto& s : snippets) {
        results.push_back({s, {}});
    }
    return results;
}

// A decoder that lets the test act while an image is being decoded in the background.
class HookedDecoder final : public ThumbnailDecoder {
public:
    std::optional<DecodedImage> decodeThumbnail(std::string, int) const override {
        if (onDecode) {
            onDecode();
        }
        return DecodedImage{1, 1, {0xff000000u}};
    }
    std::function<void()> onDecode;
};

class DetailPreviewControllerTest : public testing::Test {
protected:
    DetailPreviewControllerTest() {
        scheduler.attachClock(&clock);
        controller = DetailPreviewController::create(DetailPreviewTiming::popup(),
                                                     {scheduler, clock, previews, nullptr});
        controller->onChanged = [this] {
            ++changes;
            const auto preview = controller->previewSnippet();
            const std::string id = preview ? preview->id : "";
            if (loads.empty() || loads.back() != id) {
                loads.push_back(id);
            }
        };
    }

    // Moves the selection to `s` as the view model does.
    void feed(const SnippetPtr& s) {
        controller->feedPreview(s, false, {}, [this](int position) { scrollPositions.push_back(position); });
    }
    std::string shellID() const {
        const auto shell = controller->detailShellSnippet();
        return shell ? shell->id : "";
    }
    // The previews started, without the empty entries in between.
    std::vector<std::string> startedLoads() const {
        std::vector<std::string> started;
        for (const auto& id : loads) {
            if (!id.empty()) {
                started.push_back(id);
            }
        }
        return started;
    }

    ManualScheduler scheduler;
    FakeClock clock;
    test::TempDir dir;
    std::shared_ptr<HookedDecoder> decoder = std::make_shared<HookedDecoder>();
    std::shared_ptr<PreviewContentService> previews = std::make_shared<PreviewContentService>(decoder);
    std::shared_ptr<DetailPreviewController> controller;
    int changes = 0;
    std::vector<std::string> loads;
    std::vector<int> scrollPositions;
};

TEST_F(DetailPreviewControllerTest, OnlyResultsWithSomethingToShowHaveADetail) {
    Snippet plain;
    plain.expansion = std::string(60, 'a');
    EXPECT_FALSE(DetailPreviewController::hasPreviewableDetail(plain));
    plain.expansion = std::string(59, 'a') + "\xC3\xA9";
    EXPECT_FALSE(DetailPreviewController::hasPreviewableDetail(plain)) << "characters, not bytes";
    plain.expansion += "b";
    EXPECT_TRUE(DetailPreviewController::hasPreviewableDetail(plain));
    plain.expansion = "a\nb";
    EXPECT_TRUE(DetailPreviewController::hasPreviewableDetail(plain));
    plain.expansion = "short";
    plain.description = "";
    EXPECT_TRUE(DetailPreviewController::hasPreviewableDetail(plain));
    plain.description.reset();
    plain.url = "";
    EXPECT_FALSE(DetailPreviewController::hasPreviewableDetail(plain));
    plain.url = "https://example.com";
    EXPECT_TRUE(DetailPreviewController::hasPreviewableDetail(plain));

    // Selecting a result without a detail clears everything the column showed.
    feed(snippet("skill"));
    scheduler.advance(0.2);
    ASSERT_EQ(shellID(), "skill");
    ASSERT_TRUE(controller->currentPreviewContent());
    feed(snippet("plain", SnippetSource::manual()));
    EXPECT_EQ(controller->detailShellSnippet(), nullptr);
    EXPECT_EQ(controller->previewSnippet(), nullptr);
    EXPECT_EQ(controller->previewContentSnippetID(), std::nullopt);
    EXPECT_FALSE(controller->currentPreviewContent());
    EXPECT_EQ(scrollPositions, (std::vector<int>{0, 0}));
}

TEST_F(DetailPreviewControllerTest, HeldArrowKeysShowShellsButLoadOnlyWhereTheyRest) {
    struct Case {
        const char* name;
        bool installed;
        bool answer;
        std::vector<std::string> expected;
    } cases[] = {
        {"still selected", true, true, {"s9"}},
        {"no longer selected", true, false, {}},
        {"nobody to ask", false, false, {}},
    };
    for (const auto& c : cases) {
        controller->reset();
        controller->resetNavigationBurst();
        loads.clear();
        controller->shouldCommitPending =
            c.installed ? std::function<bool(const Snippet&)>([&c](const Snippet&) { return c.answer; })
                        : nullptr;
        for (int i = 0; i < 10; ++i) {
            controller->noteNavigationEvent();
            feed(snippet("s" + std::to_string(i)));
            scheduler.advance(0.03);
            EXPECT_EQ(shellID(), "s" + std::to_string(i)) << c.name;
            scheduler.advance(0.07);
        }
        EXPECT_TRUE(startedLoads().empty()) << c.name << ": nothing loads while the keys move";
        scheduler.advance(0.19);
        EXPECT_TRUE(startedLoads().empty()) << c.name;
        ASSERT_TRUE(controller->pendingContentSnippet()) << c.name;
        EXPECT_EQ(controller->pendingContentSnippet()->id, "s9") << c.name;
        scheduler.advance(0.02);
        EXPECT_FALSE(controller->isNavigationBurstActive());
        EXPECT_EQ(startedLoads(), c.expected) << c.name;
        scheduler.advance(1);
        EXPECT_EQ(startedLoads(), c.expected) << c.name;
    }
}

TEST_F(DetailPreviewControllerTest, ACachedFileShowsAtOnceAndStillArmsTheDebounce) {
    const std::string path = dir.write("notes.txt", "hello").string();
    previews->store(PreviewContent::text("cached"), path, FilePreviewType::text);
    feed(snippet("file", SnippetSource::filePath(), {{"filePath", path}}));
    EXPECT_EQ(shellID(), "file");
    EXPECT_EQ(controller->previewContentSnippetID(), "file");
    EXPECT_FALSE(controller->hasPendingDwell());
    EXPECT_TRUE(controller->hasPendingDebounce());
    scheduler.advance(1);
    ASSERT_TRUE(controller->fileMetadata("file"));
    EXPECT_EQ(controller->fileMetadata("file")->size, 5u);
}

TEST_F(DetailPreviewControllerTest, IdleAutoPreviewLoadsTheFirstResultOnlyWhileNothingElseHappened) {
    const auto first = snippet("first");
    const auto other = snippet("other");
    struct Case {
        const char* name;
        PopupMode mode;
        std::function<void()> meanwhile;
        std::vector<std::string> expected;
    } cases[] = {
        {"untouched", PopupMode::search, [] {}, {"first"}},
        {"browser", PopupMode::browser, [] {}, {}},
        {"another load began", PopupMode::search, [&] { controller->loadPreviewContent(other); }, {"other"}},
    };
    for (const auto& c : cases) {
        controller->reset();
        loads.clear();
        controller->showDetailShell(resultsOf({first, other}), 0);
        controller->scheduleIdleAutoPreview(resultsOf({first, other}), 0, c.mode);
        EXPECT_EQ(shellID(), "first") << c.name;
        scheduler.advance(0.3);
        c.meanwhile();
        scheduler.advance(0.05);
        EXPECT_EQ(startedLoads(), c.expected) << c.name;
    }
}

TEST_F(DetailPreviewControllerTest, APreviewThatArrivesAfterTheSelectionMovedIsDropped) {
    const std::string image = dir.write("a.png", "IMG").string();
    const auto a = snippet("a", SnippetSource::filePath(), {{"filePath", image}});
    decoder->onDecode = [&] { controller->loadPreviewContent(snippet("b", SnippetSource::aiDoc())); };
    controller->loadPreviewContent(a);
    scheduler.advance(0.1);
    EXPECT_EQ(controller->previewContentSnippetID(), "b");
    EXPECT_FALSE(previews->contains(image)) << "neither stored nor published";

    decoder->onDecode = nullptr;
    controller->loadPreviewContent(a);
    scheduler.advance(0.1);
    EXPECT_EQ(controller->previewContentSnippetID(), "a");
    ASSERT_TRUE(controller->currentPreviewContent());
    EXPECT_TRUE(std::holds_alternative<PreviewContent::Image>(controller->currentPreviewContent()->value()));
    EXPECT_TRUE(previews->contains(image));

    // A committed link that leaves the project shows nothing of its target; one inside it is followed.
    const std::string secret = dir.write("home/.ssh/id_rsa", "PRIVATE KEY").string();
    const std::string notes = dir.write("project/notes.txt", "project notes").string();
    std::filesystem::create_symlink(secret, dir.path() / "project/leak.txt");
    std::filesystem::create_symlink(notes, dir.path() / "project/alias.txt");
    controller->projectRoot = [this] { return std::optional((dir.path() / "project").string()); };
    for (const auto& [name, shown] : {std::pair{"leak.txt", false}, std::pair{"alias.txt", true}}) {
        const std::string link = (dir.path() / "project" / name).string();
        controller->loadPreviewContent(snippet(name, SnippetSource::filePath(), {{"filePath", link}}));
        scheduler.advance(0.1);
        ASSERT_TRUE(controller->currentPreviewContent()) << name;
        EXPECT_EQ(std::holds_alternative<PreviewContent::Text>(controller->currentPreviewContent()->value()),
                  shown)
            << name;
        // Nor its size and date: the size row tells the link's own, not the target's.
        controller->loadFileMetadata(*snippet(name, SnippetSource::filePath(), {{"filePath", link}}));
        scheduler.advance(0.1);
        ASSERT_TRUE(controller->fileMetadata(name)) << name;
        EXPECT_EQ(controller->fileMetadata(name)->size,
                  shown ? std::string("project notes").size() : secret.size())
            << name;
    }

    // A refused type is unavailable at once, unread and uncached.
    const std::string svg = dir.write("b.svg", "<svg/>").string();
    controller->loadPreviewContent(snippet("svg", SnippetSource::filePath(), {{"filePath", svg}}));
    EXPECT_EQ(controller->previewContentSnippetID(), "svg");
    EXPECT_FALSE(previews->contains(svg));
    // Sources without a file: skills and documents are unavailable, others show nothing.
    controller->loadPreviewContent(snippet("env", SnippetSource::envVar()));
    EXPECT_EQ(controller->previewContentSnippetID(), std::nullopt);
}

TEST_F(DetailPreviewControllerTest, FileMetadataFailuresWaitThirtySecondsBeforeATry) {
    const auto missing =
        snippet("gone", SnippetSource::filePath(), {{"filePath", (dir.path() / "gone.txt").string()}});
    controller->loadFileMetadata(*missing);
    scheduler.advance(0.1);
    EXPECT_FALSE(controller->fileMetadata("gone"));
    dir.write("gone.txt", "back");
    scheduler.advance(29.9);
    controller->loadFileMetadata(*missing);
    scheduler.advance(0.1);
    EXPECT_FALSE(controller->fileMetadata("gone")) << "inside the back-off";
    controller->loadFileMetadata(*missing);
    scheduler.advance(0.1);
    EXPECT_TRUE(controller->fileMetadata("gone"));
    controller->clearMetadata();
    EXPECT_FALSE(controller->fileMetadata("gone"));
}

TEST_F(DetailPreviewControllerTest, BranchFiguresAreAskedOnceAndNeverForTags) {
    std::vector<std::string> runs;
    bool answers = false;
    auto branches = std::make_shared<const GitBranchMetadataProvider>(
        [&](const std::vector<std::string>& arguments, const std::string&,
            double) -> std::optional<std::vector<std::string>> {
            runs.push_back(arguments.front());
            if (!answers) {
                return std::nullopt;
            }
            return arguments.front() == "rev-list" ? std::vector<std::string>{"1\t2"}
                                                   : std::vector<std::string>{};
        });
    auto git =
        DetailPreviewController::create(DetailPreviewTiming::popup(), {scheduler, clock, previews, branches});
    git->projectRoot = [] { return std::optional<std::string>("/repo"); };
    const auto tag = snippet("v1", SnippetSource::gitRef(), {{"type", "tag"}});
    const auto branch = snippet("feature", SnippetSource::gitRef(), {{"type", "branch"}});

    git->loadGitBranchMetadata(*tag);
    scheduler.advance(1);
    EXPECT_TRUE(runs.empty());
    git->loadGitBranchMetadata(*branch);
    scheduler.advance(1);
    EXPECT_FALSE(runs.empty());
    EXPECT_FALSE(git->gitBranchMetadata("feature")) << "no answer leaves no entry";
    answers = true;
    git->loadGitBranchMetadata(*branch);
    scheduler.advance(1);
    ASSERT_TRUE(git->gitBranchMetadata("feature"));
    EXPECT_EQ(
        *git->gitBranchMetadata("feature"),
        (std::map<std::string, std::string>{{"ahead", "2"}, {"behind", "1"}, {"default_branch", "main"}}));
    runs.clear();
    git->loadGitBranchMetadata(*branch);
    scheduler.advance(1);
    EXPECT_TRUE(runs.empty());
}

TEST_F(DetailPreviewControllerTest, TheBrowserCancelsAPendingPreviewSoNothingShowsBehindIt) {
    auto model = PopupViewModel::create(
        DetailPreviewTiming::popup(), scheduler, [this](const DetailPreviewTiming& timing) {
            return DetailPreviewController::create(timing, {scheduler, clock, previews, nullptr});
        });
    model->showSearchResults(resultsOf({snippet("a"), snippet("b")}), std::nullopt, std::nullopt, false,
                             false, false, false, std::nullopt, SearchEmptyState::Style::standard);
    model->moveSelectionDown();
    scheduler.advance(0.1);
    model->showBrowser({}, false);
    scheduler.advance(1);
    EXPECT_EQ(model->detail().previewSnippet(), nullptr);
    EXPECT_EQ(model->detail().previewContentSnippetID(), std::nullopt);
}

TEST_F(DetailPreviewControllerTest, NothingHappensOnceTheControllerIsGone) {
    feed(snippet("a"));
    controller->noteNavigationEvent();
    controller->scheduleIdleAutoPreview(resultsOf({snippet("b")}), 0, PopupMode::search);
    const int before = changes;
    std::weak_ptr<DetailPreviewController> weak = controller;
    controller.reset();
    EXPECT_TRUE(weak.expired());
    scheduler.advance(2);
    EXPECT_EQ(changes, before);
}

} // namespace
} // namespace korvane
