#pragma once

#include "popup/popupviewmodel.h"
#include "popup/views/categoryitemsview.h"
#include "popup/views/categorysidebarview.h"
#include "popup/views/paintcontext.h"
#include "popup/views/viewanimations.h"

#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace korvane {

// The popup's browser: the category sidebar, a divider and the selected category's items. It keeps
// the two columns' scroll offsets (the selected category stays in view, the selected item is
// centred when the index moves) and fades the focus between them. Main thread.
class BrowserModeView final : public QWidget {
    Q_OBJECT

public:
    BrowserModeView(std::shared_ptr<PopupViewModel> model, std::function<PaintContext()> context,
                    QWidget* parent = nullptr);

    // Follows the view model after a change; `entered` when browser mode was just entered.
    void sync(bool entered);

    bool isSelectedCategoryLoading() const;
    double sidebarOffset() const { return sidebarOffset_; }
    double itemsOffset() const { return itemsOffset_; }
    QRectF sidebarRect() const;
    QRectF itemsRect() const;
    CategorySidebarView sidebar() const;
    CategoryItemsView items() const;
    // The column that the arrow keys Up and Down move.
    PopupViewModel::BrowserPanel focusedPanel() const { return model_->browserFocusedPanel(); }
    // The two columns' rows as assistive technology reads them now, as they are painted.
    std::vector<AccessibleRow> accessibleCategories() const;
    std::vector<AccessibleRow> accessibleItems() const;

signals:
    // The rows that assistive technology reads may have changed.
    void accessibleRowsChanged();
    // Left or Right moved the focus to the other column.
    void focusedPanelChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeItems();
    void fadeTo(QVariantAnimation& animation, double& value, double target);

    std::shared_ptr<PopupViewModel> model_;
    std::function<PaintContext()> context_;
    double sidebarFocus_ = 0;
    double itemsFocus_ = 0;
    QVariantAnimation sidebarFade_;
    QVariantAnimation itemsFade_;
    double sidebarOffset_ = 0;
    double itemsOffset_ = 0;
    int lastCategory_ = -1;
    int lastItem_ = -1;
    PopupViewModel::BrowserPanel lastPanel_;
    // The item the list was last centred on, kept centred when the popup changes size.
    std::optional<int> centredItem_;
    AnimationTicker spinner_;
};

} // namespace korvane
