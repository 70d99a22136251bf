#pragma once

#include "popup/popupsurfacestyle.h"
#include "popup/popupviewmodel.h"
#include "popup/views/paintcontext.h"
#include "popup/views/searchbarheaderview.h"
#include "popup/views/searchresultlistview.h"
#include "popup/views/snippetrowview.h"
#include "popup/views/viewanimations.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace korvane {

// The popup's content: the surface with its rounded outline and border, and in search mode the
// search header, the result list (beside the detail column's place) and the status bar, all painted
// from the view model and repainted when it changes. Main thread.
class PopupView final : public QWidget {
    Q_OBJECT

public:
    static constexpr double cornerRadius = 8;
    static constexpr const char* searchHints = "↑↓ navigate · Space detail · Tab accept";
    static constexpr const char* browserHints = "↑↓ navigate · ←→ panels · Tab accept";

    PopupView(std::shared_ptr<PopupViewModel> model, QWidget* parent = nullptr);
    ~PopupView() override;

    // A test's paint log; nothing by default.
    void setPaintLog(PaintLog* log) { log_ = log; }
    // Whether the desktop can draw a translucent surface; only a compositor can, and only it draws
    // the window's shadow, so without it the popup draws a visible outline of its own.
    void setGlassSupported(bool supported) { glassSupported_ = supported; }
    // Called after each paint.
    std::function<void()> onPainted;

    PaintContext paintContext() const;
    const SearchResultListView& list() const { return list_; }
    QRectF listRect() const;
    // Lays the list out for the current state (done before each paint).
    void refreshLayout();
    // The search header as it is shown now (in search mode only).
    SearchBarHeaderView header() const;
    // Whether the result list is on screen: in search mode only.
    bool showsList() const;
    // The result list's rows as assistive technology reads them now; none while it is not shown.
    std::vector<AccessibleRow> accessibleRows();

signals:
    // The rows that assistive technology reads may have changed.
    void accessibleRowsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void modelChanged();
    void updateTickers();
    double caretOpacity() const;
    LabelCacheFunction labelCacheFunction() const;

    std::shared_ptr<PopupViewModel> model_;
    PopupViewModel::ObserverID observer_ = 0;
    SearchResultListView list_;
    PaintLog* log_ = nullptr;
    bool glassSupported_ = false;
    AnimationTicker blink_;
    AnimationTicker spinner_;
};

} // namespace korvane
