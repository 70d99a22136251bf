#pragma once

#include "popup/popupviewmodel.h"
#include "popup/views/paintcontext.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace korvane {

// The search layout's detail column: the selected scope's description, or the detail panel of the
// snippet the detail controller shows, or empty room of the same width; with a focus outline whose
// opacity alone tells whether the column has the keyboard focus. Main thread.
class DetailColumnView final : public QWidget {
public:
    enum class Content { scope, snippet, blank };

    // Draws the detail panel of `snippet` into `rect`. The detail panel's library, above this one,
    // installs it; without it the column shows the snippet's title only.
    using DetailPanelPainter = std::function<void(QPainter&, const QRectF&, const PaintContext&,
                                                  const PopupViewModel&, const Snippet&)>;
    static void setDetailPanelPainter(DetailPanelPainter painter);

    DetailColumnView(std::shared_ptr<PopupViewModel> model, std::function<PaintContext()> context,
                     QWidget* parent = nullptr);

    Content content() const;
    // The outline's opacity: 0.5 while the detail has the focus, else 0.
    double outlineOpacity() const;
    void sync();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PopupViewModel::SnippetPtr shownSnippet() const;

    std::shared_ptr<PopupViewModel> model_;
    std::function<PaintContext()> context_;
};

} // namespace korvane
