#include "popup/views/popupview.h"

#include "popup/popuptheme.h"
#include "popup/resolvedsurface.h"
#include "popup/views/popupaccessible.h"
#include "popup/views/popupstatusbarview.h"
#include "popup/views/searchbarheaderview.h"
#include "popup/views/surfacepainter.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>
#include <numbers>

namespace korvane {
namespace {

// A label's runs as kept in the view model's cache.
class CachedRuns final : public PopupViewModel::CachedLabel {
public:
    explicit CachedRuns(std::vector<LabelRun> runs)
        : runs(std::move(runs)) {}
    std::vector<LabelRun> runs;
};

} // namespace

PopupView::PopupView(std::shared_ptr<PopupViewModel> model, QWidget* parent)
    : QWidget(parent)
    , model_(std::move(model))
    // The caret's blink touches the header only.
    , blink_(this, [this] { update(0, 0, width(), static_cast<int>(SearchBarHeaderView::rowHeight)); })
    , spinner_(this, [this] { update(); }) {
    // Before anything that announces the widget to assistive technology, which keeps the first
    // interface it is given.
    installPopupAccessibleFactory();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName("Korvane completions");
    observer_ = model_->addObserver([this] { modelChanged(); });
}

PopupView::~PopupView() {
    model_->removeObserver(observer_);
}

void PopupView::modelChanged() {
    updateTickers();
    update();
    emit accessibleRowsChanged();
}

void PopupView::updateTickers() {
    if (!isVisible()) {
        blink_.stop();
        spinner_.stop();
        return;
    }
    // The caret blinks only while the header is on screen, and only when motion is welcome.
    if (model_->mode() == PopupMode::search && !ViewAnimations::reduceMotion()) {
        blink_.start();
    } else {
        blink_.stop();
    }
    if (model_->isRefreshing() || model_->showsLoading()) {
        spinner_.start();
    } else {
        spinner_.stop();
    }
}

void PopupView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateTickers();
}

void PopupView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    blink_.stop();
    spinner_.stop();
}

PaintContext PopupView::paintContext() const {
    PaintContext context;
    context.theme = model_->themeConfig();
    context.surface = PopupSurfaceStyle::resolve(context.theme, glassSupported_, false).surface;
    context.log = log_;
    return context;
}

double PopupView::caretOpacity() const {
    if (!ViewAnimations::enabled() || ViewAnimations::reduceMotion() || !blink_.running()) {
        return 0.7;
    }
    // Eases out and in over half a second each way.
    const double t = std::fmod(blink_.elapsed(), 1.0);
    const double phase = t < 0.5 ? t / 0.5 : (1.0 - t) / 0.5;
    const double eased = (1 - std::cos(std::numbers::pi * phase)) / 2;
    return 0.7 * (1 - eased);
}

LabelCacheFunction PopupView::labelCacheFunction() const {
    PopupViewModel* model = model_.get();
    return [model](const std::string& id, const TextRanges& ranges, bool glass, double fontSize,
                   const std::function<std::vector<LabelRun>()>& build) {
        const LabelCacheKey key{id, ranges, glass, LabelCacheKey::quantizeFontSize(fontSize)};
        if (const auto hit = std::dynamic_pointer_cast<const CachedRuns>(model->cachedLabel(key))) {
            return hit->runs;
        }
        auto runs = build();
        model->cacheLabel(key, std::make_shared<CachedRuns>(runs));
        return runs;
    };
}

QRectF PopupView::listRect() const {
    const QRectF all(0, 0, width(), height());
    const double listWidth = std::min(all.width(), PopupTheme::listWidth(model_->themeConfig()));
    const bool detailLeft =
        model_->isDetailColumnVisible() && model_->detailPanelSide() == PopupViewModel::DetailPanelSide::left;
    const double left = detailLeft ? all.right() - listWidth : all.left();
    return QRectF(left, SearchBarHeaderView::height, listWidth,
                  std::max(0.0, all.height() - SearchBarHeaderView::height - PopupStatusBarView::height));
}

void PopupView::refreshLayout() {
    list_.update(*model_, paintContext(), listRect());
}

SearchBarHeaderView PopupView::header() const {
    return SearchBarHeaderView({model_->currentQuery(), model_->displayChip(), &model_->scopeRegistry(),
                                model_->shownResultCount(), model_->triggerText(), model_->showsLoading(),
                                model_->scopeDisabled()});
}

bool PopupView::showsList() const {
    return model_->mode() == PopupMode::search;
}

std::vector<AccessibleRow> PopupView::accessibleRows() {
    if (!showsList()) {
        return {};
    }
    refreshLayout();
    return list_.accessibleRows();
}

void PopupView::paintEvent(QPaintEvent*) {
    const PaintContext context = paintContext();
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF all(0, 0, width(), height());
    SurfacePainter::paintBackground(painter, all, context.surface, cornerRadius);
    // The content stays inside the rounded outline; the border below is drawn over its edge.
    painter.save();
    PaintContext::clipTo(painter, SurfacePainter::outline(all, cornerRadius));

    const QRectF statusRect(0, all.bottom() - PopupStatusBarView::height, all.width(),
                            PopupStatusBarView::height);
    if (model_->mode() == PopupMode::search) {
        header().paint(painter, QRectF(0, 0, all.width(), SearchBarHeaderView::height), context,
                       caretOpacity(), spinner_.elapsed());
        list_.update(*model_, context, listRect());
        list_.paint(painter, context, labelCacheFunction(), spinner_.elapsed());
        if (model_->isDetailColumnVisible()) {
            const QRectF lr = listRect();
            const double x = model_->detailPanelSide() == PopupViewModel::DetailPanelSide::left
                                 ? lr.left() - 1
                                 : lr.right();
            SurfacePainter::verticalDivider(painter, QRectF(x, lr.top(), 1, lr.height()), context.surface);
        }
    }
    if (model_->mode() != PopupMode::help) {
        const std::string context_ = model_->statusContextText();
        PopupStatusBarView(context_.empty() ? std::nullopt : std::optional<std::string>(context_),
                           model_->mode() == PopupMode::browser ? browserHints : searchHints)
            .paint(painter, statusRect, context);
    }
    painter.restore();
    if (glassSupported_) {
        SurfacePainter::paintBorder(painter, all, context.surface, cornerRadius);
    } else {
        SurfacePainter::paintShadowlessOutline(painter, all, context.surface, cornerRadius);
    }
    if (onPainted) {
        onPainted();
    }
}

} // namespace korvane
