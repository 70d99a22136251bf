#include "popup/views/popupcontentview.h"

#include "popup/popuptheme.h"
#include "popup/views/browsermodeview.h"
#include "popup/views/detailcolumnview.h"
#include "popup/views/popupstatusbarview.h"
#include "popup/views/popupview.h"
#include "popup/views/quickreferenceview.h"
#include "popup/views/searchbarheaderview.h"
#include "popup/views/searchheaderstatus.h"
#include "popup/views/surfacepainter.h"
#include "popup/views/viewanimations.h"
#include "popup/views/wrappedtext.h"

#include <QPainter>
#include <cmath>
#include <numbers>

namespace korvane {
double PopupContentView::modeSpring(double t) {
    // Response 0.11 s, damping 1, stretched so that it ends exactly at 1.
    constexpr double omega = 2 * std::numbers::pi / 0.11;
    constexpr double seconds = modeTransitionMilliseconds / 1000.0;
    const auto x = [](double s) { return 1 - (1 + omega * s) * std::exp(-omega * s); };
    return x(std::clamp(t, 0.0, 1.0) * seconds) / x(seconds);
}

// Lies over the content while a new mode comes in and covers it with the surface's own fill,
// thinning as the mode change runs, which fades the new content in over the backdrop.
class PopupContentView::Veil final : public QWidget {
public:
    explicit Veil(PopupContentView* owner)
        : QWidget(owner)
        , owner_(owner) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const double cover = 1 - owner_->progress_;
        if (cover <= 0) {
            return;
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(cover);
        painter.fillPath(SurfacePainter::outline(QRectF(rect()), PopupView::cornerRadius),
                         PaintContext::qcolor(owner_->paintContext().surface.background));
    }

private:
    PopupContentView* owner_;
};

PopupContentView::PopupContentView(std::shared_ptr<PopupViewModel> model, QWidget* parent)
    : QWidget(parent)
    , model_(std::move(model))
    , shownMode_(model_->mode()) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    const auto context = [this] { return paintContext(); };
    surface_ = new PopupView(model_, this);
    browser_ = new BrowserModeView(model_, context, this);
    help_ = new QuickReferenceView(model_, context, this);
    detail_ = new DetailColumnView(model_, context, this);
    header_ = new SearchHeaderStatus(this);
    veil_ = new Veil(this);
    veil_->hide();

    transition_.setDuration(modeTransitionMilliseconds);
    transition_.setStartValue(0.0);
    transition_.setEndValue(1.0);
    transition_.setEasingCurve(QEasingCurve(QEasingCurve::Linear));
    QObject::connect(&transition_, &QVariantAnimation::valueChanged, this,
                     [this](const QVariant& value) { setProgress(modeSpring(value.toDouble())); });
    QObject::connect(&transition_, &QVariantAnimation::finished, this, [this] { setProgress(1); });

    observer_ = model_->addObserver([this] { sync(); });
    sync();
}

PopupContentView::~PopupContentView() {
    model_->removeObserver(observer_);
}

std::string PopupContentView::keyboardHints(PopupMode mode) {
    switch (mode) {
    case PopupMode::browser:
        return PopupView::browserHints;
    case PopupMode::search:
        return PopupView::searchHints;
    case PopupMode::help:
        break;
    }
    return {};
}

PaintContext PopupContentView::paintContext() const {
    return surface_->paintContext();
}

void PopupContentView::setProgress(double progress) {
    progress_ = std::clamp(progress, 0.0, 1.0);
    veil_->setVisible(progress_ < 1);
    relayout();
    veil_->update();
}

void PopupContentView::sync() {
    const PopupMode mode = model_->mode();
    const bool entered = firstSync_ || mode != shownMode_;
    if (entered && !firstSync_) {
        transition_.stop();
        // Help comes in at once; the browser and the search content fade in (the browser also slides).
        if (mode != PopupMode::help && ViewAnimations::enabled() && !ViewAnimations::reduceMotion() &&
            isVisible()) {
            setProgress(0);
            transition_.start();
        } else {
            setProgress(1);
        }
    }
    firstSync_ = false;
    shownMode_ = mode;
    relayout();
    if (mode == PopupMode::browser) {
        browser_->sync(entered);
    }
    if (mode == PopupMode::help) {
        help_->sync(entered);
    }
    // Out of search mode the header is not shown and says nothing.
    header_->setText(mode == PopupMode::search ? surface_->header().accessibleText() : std::string());
    detail_->sync();
}

void PopupContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void PopupContentView::relayout() {
    const PopupMode mode = model_->mode();
    const int w = width();
    const int h = static_cast<int>(std::ceil(model_->popupHeight()));
    surface_->setGeometry(0, 0, w, h);
    surface_->lower();
    // It paints nothing; first among the children, a screen reader reads it before the list.
    header_->setVisible(mode == PopupMode::search);
    header_->setGeometry(0, 0, w, static_cast<int>(SearchBarHeaderView::rowHeight));
    header_->lower();
    veil_->setGeometry(0, 0, w, h);
    veil_->raise();

    browser_->setVisible(mode == PopupMode::browser);
    if (mode == PopupMode::browser) {
        const int slide = static_cast<int>(std::lround(-(1 - progress_) * w));
        browser_->setGeometry(slide, 0, w, std::max(0, h - static_cast<int>(PopupStatusBarView::height)));
    }

    help_->setVisible(mode == PopupMode::help);
    if (mode == PopupMode::help) {
        const int helpWidth = static_cast<int>(std::lround(PopupTheme::listWidth(model_->themeConfig())));
        help_->setGeometry((w - helpWidth) / 2, 0, helpWidth, h);
    }

    const bool detailShown = mode == PopupMode::search && model_->isDetailColumnVisible();
    detail_->setVisible(detailShown);
    if (detailShown) {
        const QRectF list = surface_->listRect();
        const double detailWidth = model_->themeConfig().detailWidth;
        const double left = model_->detailPanelSide() == PopupViewModel::DetailPanelSide::left
                                ? list.left() - 1 - detailWidth
                                : list.right() + 1;
        detail_->setGeometry(QRectF(left, list.top(), detailWidth, list.height()).toRect());
    }
}

} // namespace korvane
