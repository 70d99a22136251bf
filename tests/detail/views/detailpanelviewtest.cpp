// The detail panel drawn as the popup draws it, from a scripted detail controller: its paint log
// and, with KORVANE_SNAPSHOT_DIR set, a picture of every case.
#include "detail/views/detailpanelview.h"

#include "../../popup/views/viewtestsupport.h"
#include "platform/fake/fakeclock.h"
#include "platform/fake/manualscheduler.h"
#include "popup/namedcolors.h"
#include "popup/nulldetailpreviewcontroller.h"
#include "popup/views/popupaccessible.h"

#include <QAccessible>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using SnippetPtr = std::shared_ptr<const Snippet>;

// Shows what a test sets, as the real controller would once its loads have finished.
class ScriptedDetailController final : public NullDetailPreviewController {
public:
    SnippetPtr shell;
    std::optional<PreviewContent> content;
    std::map<std::string, BranchMetadata> branches;
    std::map<std::string, FileMetadata> files;

    std::optional<PreviewContent> currentPreviewContent() const override { return content; }
    std::optional<std::string> previewContentSnippetID() const override {
        return shell && content ? std::optional(shell->id) : std::nullopt;
    }
    SnippetPtr previewSnippet() const override { return shell; }
    SnippetPtr detailShellSnippet() const override { return shell; }
    std::optional<BranchMetadata> gitBranchMetadata(const std::string& id) const override {
        const auto found = branches.find(id);
        return found == branches.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<FileMetadata> fileMetadata(const std::string& id) const override {
        const auto found = files.find(id);
        return found == files.end() ? std::nullopt : std::optional(found->second);
    }

    void changed() {
        if (onChanged) {
            onChanged();
        }
    }
};

SnippetPtr snippet(std::string label, SnippetSource source, std::map<std::string, std::string> metadata = {},
                   std::optional<std::string> description = std::nullopt) {
    Snippet s;
    s.id = source.badgeLabel().data() + std::string(":") + label;
    s.label = std::move(label);
    s.expansion = s.label;
    s.source = std::move(source);
    s.description = std::move(description);
    if (!metadata.empty()) {
        s.metadata = std::move(metadata);
    }
    return std::make_shared<const Snippet>(std::move(s));
}

class DetailPanelViewTest : public testing::Test {
protected:
    void SetUp() override {
        test::ensureOffscreenApplication();
        installPopupAccessibleFactory();
        DetailPanelView::install(clock);
        model = PopupViewModel::create(DetailPreviewTiming::popup(), scheduler,
                                       [this](const DetailPreviewTiming&) {
                                           auto made = std::make_shared<ScriptedDetailController>();
                                           detail = made.get();
                                           return made;
                                       });
        column = std::make_unique<DetailColumnView>(model, [this] { return test::testContext(log); });
    }
    void TearDown() override { DetailColumnView::setDetailPanelFactory({}); }

    void show(SnippetPtr shown, std::optional<PreviewContent> content = std::nullopt) {
        detail->shell = std::move(shown);
        detail->content = std::move(content);
        detail->changed();
        column->sync();
    }
    const PaintLog& render(const std::string& name, int height = 300) {
        log.clear();
        test::snapshot("detail-" + name, *column, QSize(270, height));
        return log;
    }
    std::string texts(const std::string& role) const { return log.joined(role); }

    ManualScheduler scheduler;
    FakeClock clock;
    PaintLog log;
    ScriptedDetailController* detail = nullptr;
    std::shared_ptr<PopupViewModel> model;
    std::unique_ptr<DetailColumnView> column;
};

TEST_F(DetailPanelViewTest, BranchShowsLoadingThenItsFiguresAndATagShowsTag) {
    const auto branch = snippet("feature-login", SnippetSource::gitRef(),
                                {{"type", "branch"},
                                 {"author", "Ada"},
                                 {"date", "2 days ago"},
                                 {"subject", "Add login"},
                                 {"stale", "true"}});
    show(branch);
    render("branch-loading");
    EXPECT_EQ(texts("detail.title"), "feature-login");
    EXPECT_EQ(texts("detail.stale"), "stale");
    EXPECT_EQ(texts("detail.commit"), "Ada \u00b7 2 days ago");
    EXPECT_EQ(texts("detail.status"), "Loading...");

    detail->branches[branch->id] = {{"ahead", "2"}, {"behind", "1"}};
    show(branch);
    render("branch-loaded");
    EXPECT_EQ(texts("detail.status"), "");
    EXPECT_EQ(texts("detail.ahead"), "2 ahead");
    EXPECT_EQ(texts("detail.behind"), "1 behind");
    EXPECT_EQ(texts("detail.defaultBranch"), "main");
    EXPECT_EQ(log.withRole("detail.ahead").front().color, namedColor(NamedColor::green));
    EXPECT_EQ(log.withRole("detail.behind").front().color, namedColor(NamedColor::orange));

    detail->branches[branch->id] = {{"ahead", "0"}, {"behind", "x"}, {"default_branch", "trunk"}};
    show(branch);
    render("branch-even");
    EXPECT_EQ(texts("detail.behind"), "0 behind");
    EXPECT_NE(log.withRole("detail.ahead").front().color, namedColor(NamedColor::green));
    EXPECT_EQ(texts("detail.defaultBranch"), "trunk");

    show(snippet("v1.0", SnippetSource::gitRef(), {{"type", "tag"}}));
    render("tag");
    EXPECT_EQ(texts("detail.tag"), "Tag");
    EXPECT_EQ(texts("detail.status"), "");
}

TEST_F(DetailPanelViewTest, SkillLocationAndPreviewStates) {
    model->setProjectRoot("/p/app");
    const auto inside = snippet("deploy", SnippetSource::claudeSkill(),
                                {{"filePath", "/p/app/.skills/deploy/SKILL.md"}}, "Ships the app");
    show(inside);
    render("skill-loading");
    EXPECT_EQ(texts("detail.location"), ".skills/deploy/SKILL.md");
    EXPECT_EQ(texts("detail.heading"), "Ships the app");
    EXPECT_EQ(texts("detail.status"), "Loading...");

    show(inside, PreviewContent::text("Run the deploy script.\n\nThen check."));
    render("skill-text");
    EXPECT_EQ(texts("detail.heading"), "Ships the app");
    EXPECT_EQ(texts("detail.line"), "Run the deploy script. Then check.");

    const auto outside =
        snippet("review", SnippetSource::claudeSkill(), {{"filePath", "/home/u/skills/review.md"}});
    show(outside, PreviewContent::unavailable());
    render("skill-unavailable");
    EXPECT_EQ(texts("detail.location"), "/home/u/skills/review.md");
    EXPECT_EQ(texts("detail.status"), "Content unavailable");

    // Assistive technology reads what the panel shows on screen.
    column->show();
    QAccessibleInterface* pane = QAccessible::queryAccessibleInterface(column.get());
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->text(QAccessible::Name).toStdString(), "Korvane detail");
    std::vector<std::string> children;
    for (int i = 0; i < pane->childCount(); ++i) {
        children.push_back(pane->child(i)->text(QAccessible::Name).toStdString());
    }
    EXPECT_EQ(children, (std::vector<std::string>{"review", "Location", "/home/u/skills/review.md",
                                                  "Content unavailable"}));
}

TEST_F(DetailPanelViewTest, FileShowsPathSizeAgeAndItsTextOrImage) {
    clock.setNow(std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000)));
    const auto file = snippet("src/app/main.cpp", SnippetSource::filePath(),
                              {{"filePath", "/p/app/src/app/main.cpp"}}, "never a heading");
    detail->files[file->id] = {262'144, clock.now() - std::chrono::seconds(180)};
    show(file, PreviewContent::text("int main() {\n    return 0;\n}"));
    render("file-text");
    EXPECT_EQ(texts("detail.title"), "main.cpp");
    EXPECT_EQ(texts("detail.path"), "src/app/main.cpp");
    EXPECT_EQ(texts("detail.size"), "262 KB \u00b7 Modified 3 min. ago");
    EXPECT_EQ(texts("detail.heading"), "");
    EXPECT_EQ(texts("detail.line"), "int main() {    return 0;}");

    auto pixels = std::make_shared<PreviewImage>(PreviewImage{120, 80, {}});
    pixels->pixels.resize(120 * 80);
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 120; ++x) {
            pixels->pixels[static_cast<std::size_t>(y * 120 + x)] =
                0xff000000u | static_cast<std::uint32_t>(x * 2) << 16 |
                static_cast<std::uint32_t>(y * 3) << 8 | 0x80u;
        }
    }
    const auto image =
        snippet("art/logo.png", SnippetSource::filePath(), {{"filePath", "/p/app/art/logo.png"}});
    show(image, PreviewContent::image(pixels));
    render("file-image");
    EXPECT_EQ(texts("detail.title"), "logo.png");
    const auto notes = column->accessibleTexts();
    EXPECT_NE(std::find(notes.begin(), notes.end(), "Image 120 \u00d7 80"), notes.end());

    const auto bare = snippet("Makefile", SnippetSource::filePath());
    show(bare);
    render("file-without-path");
    EXPECT_EQ(texts("detail.path"), "Makefile");
    EXPECT_EQ(texts("detail.status"), "") << "no preview without a file";
}

TEST_F(DetailPanelViewTest, LinkScriptAndLongTextScrolledToTheEnd) {
    auto link = std::make_shared<Snippet>(*snippet("docs", SnippetSource::manual(), {}, "The handbook"));
    link->url = "https://example.com/handbook/getting-started/installation/linux";
    show(link);
    render("link");
    EXPECT_EQ(texts("detail.description"), "The handbook");
    EXPECT_NE(texts("detail.url").find("example.com"), std::string::npos);
    EXPECT_EQ(texts("detail.hint"), "Pressorto open");
    EXPECT_EQ(texts("detail.keycap"), "TabReturn");

    show(snippet("build", SnippetSource::npmScript()));
    render("script-bare", 120);
    EXPECT_EQ(texts("detail.title"), "build");
    EXPECT_EQ(log.texts().size(), 1u) << "only the title row";

    std::string longText;
    for (int i = 1; i <= 5000; ++i) {
        longText += "line " + std::to_string(i) + "\n";
    }
    longText.pop_back();
    auto text = std::make_shared<Snippet>(*snippet("notes", SnippetSource::manual()));
    text->expansion = longText;
    show(text);
    EXPECT_EQ(model->detailScrollMax(), 4999) << "the panel reported 5,000 segments";
    render("text-top");
    EXPECT_EQ(log.withRole("detail.line").front().text, "line 1");
    EXPECT_LT(log.withRole("detail.line").size(), 40u) << "only the rows in view are drawn";
    model->setFocusedPanel(PopupViewModel::FocusedPanel::detail);
    model->setDetailScrollPosition(5000);
    column->sync();
    render("text-end");
    EXPECT_EQ(log.withRole("detail.line").back().text, "line 5000");
    EXPECT_LT(log.withRole("detail.line").size(), 40u);
    column->show();
    QAccessibleInterface* pane = QAccessible::queryAccessibleInterface(column.get());
    QAccessibleInterface* scrolled = pane->child(pane->childCount() - 1);
    EXPECT_EQ(scrolled->text(QAccessible::Name).toStdString(), "line 5000");
    EXPECT_TRUE(scrolled->state().selected);
}

TEST_F(DetailPanelViewTest, ScrollBoundFollowsTheBodyAcrossPopupResets) {
    std::string longText;
    for (int i = 1; i <= 50; ++i) {
        longText += "line " + std::to_string(i) + "\n";
    }
    longText.pop_back();
    auto text = std::make_shared<Snippet>(*snippet("notes", SnippetSource::manual()));
    text->expansion = longText;
    show(text);
    ASSERT_EQ(model->detailScrollMax(), 49);

    // The popup closes and opens again on the same snippet: the body keeps its text, and the view
    // model, which forgot the bound, must learn it again or the arrow keys scroll nothing.
    model->reset();
    show(text);
    EXPECT_EQ(model->detailScrollMax(), 49);

    // A section without a scrolling body leaves nothing to scroll.
    show(snippet("v1.0", SnippetSource::gitRef(), {{"type", "tag"}}));
    EXPECT_EQ(model->detailScrollMax(), 0);
}

} // namespace
} // namespace korvane
