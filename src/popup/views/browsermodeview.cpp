#include "popup/views/browsermodeview.h"

#include "popup/views/surfacepainter.h"
#include "popup/views/wrappedtext.h"

#include <QPainter>
#include <utility>

namespace korvane {

BrowserModeView::BrowserModeView(std::shared_ptr<PopupViewModel> model, std::function<PaintContext()> context,
                                 QWidget* parent)
    : QWidget(parent)
    , model_(std::move(model))
    , context_(std::move(context))
    , lastPanel_(model_->browserFocusedPanel())
    , spinner_(this, [this] { update(); }) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName("Korvane browser");
    for (auto* fade : {&sidebarFade_, &itemsFade_}) {
        fade->setDuration(150);
        fade->setEasingCurve(popupEaseOut());
    }
    QObject::connect(&sidebarFade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        sidebarFocus_ = value.toDouble();
        update();
    });
    QObject::connect(&itemsFade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        itemsFocus_ = value.toDouble();
        update();
    });
}

bool BrowserModeView::isSelectedCategoryLoading() const {
    const auto categories = model_->categories();
    const int i = model_->selectedCategoryIndex();
    if (i < 0 || i >= static_cast<int>(categories.size())) {
        return false;
    }
    return model_->loadingCategories().contains(categories[static_cast<std::size_t>(i)].id);
}

QRectF BrowserModeView::sidebarRect() const {
    return QRectF(0, 0, PopupViewModel::browserSidebarWidth, height());
}

QRectF BrowserModeView::itemsRect() const {
    const double left = PopupViewModel::browserSidebarWidth + 1;
    return QRectF(left, 0, std::max(0.0, width() - left), height());
}

CategorySidebarView BrowserModeView::sidebar() const {
    return CategorySidebarView(model_->categories(), model_->selectedCategoryIndex(), sidebarFocus_);
}

CategoryItemsView BrowserModeView::items() const {
    CategoryItemsView::Input input;
    input.items = model_->selectedCategoryItems();
    input.selectedIndex = model_->selectedItemIndexInCategory();
    input.focus = itemsFocus_;
    input.isLoading = isSelectedCategoryLoading();
    if (const auto& expanded = model_->expandedSnippet()) {
        input.expandedSnippetID = expanded->id;
        input.expandedDetailText = model_->expandedDetailText(*expanded);
    }
    input.helpText = model_->selectedCategoryHelpText();
    return CategoryItemsView(std::move(input));
}

std::vector<AccessibleRow> BrowserModeView::accessibleCategories() const {
    return sidebar().accessibleRows(context_(), sidebarRect(), sidebarOffset_);
}

std::vector<AccessibleRow> BrowserModeView::accessibleItems() const {
    return items().accessibleRows(context_(), itemsRect(), itemsOffset_);
}

void BrowserModeView::fadeTo(QVariantAnimation& animation, double& value, double target) {
    if (animation.state() == QAbstractAnimation::Running && animation.endValue().toDouble() == target) {
        return;
    }
    animation.stop();
    if (value == target) {
        return;
    }
    if (!ViewAnimations::enabled() || !isVisible()) {
        value = target;
        return;
    }
    animation.setStartValue(value);
    animation.setEndValue(target);
    animation.start();
}

void BrowserModeView::sync(bool entered) {
    const bool sidebarFocused = model_->browserFocusedPanel() == PopupViewModel::BrowserPanel::sidebar;
    if (entered) {
        sidebarFade_.stop();
        itemsFade_.stop();
        sidebarFocus_ = sidebarFocused ? 1 : 0;
        itemsFocus_ = sidebarFocused ? 0 : 1;
    } else {
        fadeTo(sidebarFade_, sidebarFocus_, sidebarFocused ? 1 : 0);
        fadeTo(itemsFade_, itemsFocus_, sidebarFocused ? 0 : 1);
    }

    const PaintContext context = context_();
    sidebarOffset_ = sidebar().offsetKeepingSelectionVisible(context, height(), entered ? 0 : sidebarOffset_);

    const int category = model_->selectedCategoryIndex();
    const int item = model_->selectedItemIndexInCategory();
    if (entered || category != lastCategory_) {
        // A new list starts at its top; the first display does not scroll to the selection.
        itemsOffset_ = 0;
        centredItem_.reset();
    } else if (item != lastItem_) {
        centredItem_ = item;
    }
    placeItems();
    lastCategory_ = category;
    lastItem_ = item;

    if (isVisible() && isSelectedCategoryLoading()) {
        spinner_.start();
    } else {
        spinner_.stop();
    }
    update();
    emit accessibleRowsChanged();
    const PopupViewModel::BrowserPanel panel = focusedPanel();
    if (std::exchange(lastPanel_, panel) != panel) {
        emit focusedPanelChanged();
    }
}

void BrowserModeView::placeItems() {
    const PaintContext context = context_();
    const QRectF area = itemsRect();
    const CategoryItemsView list = items();
    if (centredItem_) {
        if (const auto offset = list.centringOffset(context, area.width(), area.height(), *centredItem_)) {
            itemsOffset_ = *offset;
        }
    }
    itemsOffset_ = std::clamp(itemsOffset_, 0.0,
                              std::max(0.0, list.contentHeight(context, area.width()) - area.height()));
}

void BrowserModeView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const PaintContext context = context_();
    sidebarOffset_ = sidebar().offsetKeepingSelectionVisible(context, height(), sidebarOffset_);
    placeItems();
}

void BrowserModeView::paintEvent(QPaintEvent*) {
    const PaintContext context = context_();
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    clipToPopupOutline(painter, *this);
    sidebar().paint(painter, sidebarRect(), context, sidebarOffset_);
    SurfacePainter::verticalDivider(painter, QRectF(PopupViewModel::browserSidebarWidth, 0, 1, height()),
                                    context.surface);
    items().paint(painter, itemsRect(), context, itemsOffset_, spinner_.elapsed());
}

} // namespace korvane
