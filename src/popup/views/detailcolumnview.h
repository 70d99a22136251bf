#pragma once

#include "popup/popupviewmodel.h"
#include "popup/views/paintcontext.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The search layout's detail column: the selected scope's description, or the detail panel of the
// snippet the detail controller shows, or empty room of the same width; with a focus outline whose
// opacity alone tells whether the column has the keyboard focus. Main thread.
class DetailColumnView final : public QWidget {
    Q_OBJECT

public:
    enum class Content { scope, snippet, blank };

    // The panel that draws a snippet's detail. The detail panel's library, above this one, installs
    // a factory; without it the column shows the snippet's title only. Main thread.
    class DetailPanel {
    public:
        virtual ~DetailPanel() = default;
        // The view model or the controller changed: the panel takes what it shows from them.
        virtual void sync(const Snippet& snippet) = 0;
        virtual void paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
                           const Snippet& snippet) = 0;
        // The texts the last paint showed, in reading order, for assistive technology.
        virtual std::vector<std::string> accessibleTexts() const = 0;
        // The line the user scrolled the panel's text to, as of the last sync; none unscrolled.
        virtual std::optional<std::string> scrolledLine() const { return std::nullopt; }
    };
    using DetailPanelFactory = std::function<std::unique_ptr<DetailPanel>(
        DetailColumnView& column, std::shared_ptr<PopupViewModel> model)>;
    static void setDetailPanelFactory(DetailPanelFactory factory);

    DetailColumnView(std::shared_ptr<PopupViewModel> model, std::function<PaintContext()> context,
                     QWidget* parent = nullptr);
    ~DetailColumnView() override;

    Content content() const;
    // The outline's opacity: 0.5 while the detail has the focus, else 0.
    double outlineOpacity() const;
    void sync();
    PaintContext paintContext() const { return context_(); }
    // The texts the column shows now, in reading order.
    std::vector<std::string> accessibleTexts() const;
    // The line the user scrolled the detail to, and the scroll position that brought it; none unscrolled.
    std::optional<std::pair<int, std::string>> scrolledLine() const;
    // What the column is about as of the last sync: the scope's description or the snippet's label.
    const std::string& title() const { return title_; }

signals:
    // The texts that assistive technology reads may have changed.
    void accessibleRowsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PopupViewModel::SnippetPtr shownSnippet() const;

    std::shared_ptr<PopupViewModel> model_;
    std::function<PaintContext()> context_;
    std::unique_ptr<DetailPanel> panel_;
    std::string title_;
};

} // namespace korvane
