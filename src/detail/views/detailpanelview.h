#pragma once

#include "base/clock.h"
#include "detail/detailpanelcontent.h"
#include "detail/views/detailpaintcursor.h"
#include "detail/views/detailscrollingbody.h"
#include "popup/views/detailcolumnview.h"
#include "popup/views/viewanimations.h"

#include <QPixmap>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The detail panel beside the results: the selected result's title row and the section its kind
// calls for (link, git ref, skill, document, file, script or text), drawn from the view model and its
// detail controller, which load everything; the panel only wraps, lays out and scrolls. Main thread;
// one per detail column.
class DetailPanelView final : public DetailColumnView::DetailPanel {
public:
    static constexpr double inset = 14;
    static constexpr double imageCornerRadius = 4;

    // Makes every detail column draw its snippets with this panel; `clock` dates file ages and must
    // outlive the columns.
    static void install(const Clock& clock);

    DetailPanelView(DetailColumnView& column, std::shared_ptr<PopupViewModel> model, const Clock& clock);

    void sync(const Snippet& snippet) override;
    void paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
               const Snippet& snippet) override;
    std::vector<std::string> accessibleTexts() const override { return texts_; }
    std::optional<std::string> scrolledLine() const override;

    const DetailScrollingBody& body() const { return body_; }

private:
    // The text the scrolling body shows for `snippet` now, if its section has one.
    std::optional<std::string> bodyText(const Snippet& snippet) const;
    std::optional<std::string> previewHeading(const Snippet& snippet) const;
    bool isFocused() const;

    void paintTitle(DetailPaintCursor& cursor, const Snippet& snippet);
    void paintLink(DetailPaintCursor& cursor, const Snippet& snippet);
    void paintGitRef(DetailPaintCursor& cursor, const Snippet& snippet);
    void paintBranchBlock(DetailPaintCursor& cursor, const Snippet& snippet);
    void paintSkill(DetailPaintCursor& cursor, const Snippet& snippet);
    void paintFile(DetailPaintCursor& cursor, const Snippet& snippet);
    void paintPreview(DetailPaintCursor& cursor, const Snippet& snippet);
    void paintStatusRow(DetailPaintCursor& cursor, const std::string& text, double opacity, bool spinner);
    void paintImage(DetailPaintCursor& cursor, const std::shared_ptr<const PreviewImage>& image);
    void paintKeyCapHint(DetailPaintCursor& cursor);

    DetailColumnView& column_;
    std::shared_ptr<PopupViewModel> model_;
    const Clock& clock_;
    DetailScrollingBody body_;
    std::optional<int> shownScrollPosition_;
    // Whether the snippet shown has a scrolling body: the body keeps the last text it had.
    bool bodyShown_ = false;
    std::vector<std::string> texts_;
    bool spinnerShown_ = false;
    AnimationTicker spinnerTicker_;
    std::shared_ptr<const PreviewImage> pixmapSource_;
    QPixmap pixmap_;
};

} // namespace korvane
