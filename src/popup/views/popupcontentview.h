#pragma once

#include "popup/popupviewmodel.h"
#include "popup/views/paintcontext.h"

#include <QVariantAnimation>
#include <QWidget>
#include <memory>
#include <string>

namespace korvane {

class BrowserModeView;
class DetailColumnView;
class PopupView;
class QuickReferenceView;
class SearchHeaderStatus;

// The root of the popup's views: the surface with the search header, result list and status bar,
// and over it the mode's own content: the browser, the quick reference, or in search mode the
// detail column on the side the view model names, and the header's text for assistive technology. Lays
// everything out at the view model's popup height from the top, and fades (the browser also slides) a new
// mode in. Main thread.
class PopupContentView final : public QWidget {
public:
    static constexpr int lazyThreshold = 20;
    // The mode change's spring: critically damped, settled after about this long.
    static constexpr int modeTransitionMilliseconds = 120;

    explicit PopupContentView(std::shared_ptr<PopupViewModel> model, QWidget* parent = nullptr);
    ~PopupContentView() override;

    // The mode change's progress (0 to 1) at a fraction of its duration: a critically damped spring,
    // so it never overshoots.
    static double modeSpring(double t);
    // The status bar's hints for a mode; help mode shows no status bar.
    static std::string keyboardHints(PopupMode mode);

    PopupView& surface() const { return *surface_; }
    BrowserModeView& browser() const { return *browser_; }
    QuickReferenceView& quickReference() const { return *help_; }
    DetailColumnView& detailColumn() const { return *detail_; }
    PaintContext paintContext() const;
    // Progress of the running mode change, 1 when none runs.
    double transitionProgress() const { return progress_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Veil;

    void sync();
    void relayout();
    void setProgress(double progress);

    std::shared_ptr<PopupViewModel> model_;
    PopupViewModel::ObserverID observer_ = 0;
    PopupView* surface_ = nullptr;
    BrowserModeView* browser_ = nullptr;
    QuickReferenceView* help_ = nullptr;
    DetailColumnView* detail_ = nullptr;
    SearchHeaderStatus* header_ = nullptr;
    Veil* veil_ = nullptr;
    PopupMode shownMode_;
    bool firstSync_ = true;
    double progress_ = 1;
    QVariantAnimation transition_;
};

} // namespace korvane
