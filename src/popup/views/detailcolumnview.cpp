#include "popup/views/detailcolumnview.h"

#include "popup/namedcolors.h"
#include "popup/views/scopedetailpanelview.h"
#include "popup/views/wrappedtext.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

namespace korvane {
namespace {

DetailColumnView::DetailPanelFactory& installedFactory() {
    static DetailColumnView::DetailPanelFactory factory;
    return factory;
}

// Until the detail panel is installed: the snippet's title and source at the panel's inset.
void paintSnippetTitle(QPainter& painter, const QRectF& rect, const PaintContext& context,
                       const Snippet& snippet) {
    const QRectF inner = rect.adjusted(14, 14, -14, -14);
    const QFont titleFont = context.font(FontRoles::Design::monospaced, context.fontSize(), QFont::DemiBold);
    const WrappedText title(QString::fromStdString(snippet.displayName.value_or(snippet.label)), titleFont,
                            inner.width(), 3);
    title.paint(painter, context, inner.topLeft(), context.surface.textPrimary, "detail.title");
    const QFont sourceFont =
        context.font(FontRoles::Design::monospaced, std::max(context.fontSize() - 5, 9.0), QFont::DemiBold);
    context.drawText(painter,
                     QRectF(inner.left(), inner.top() + title.height() + 6, inner.width(),
                            QFontMetricsF(sourceFont).height()),
                     TextRun{QString::fromStdString(std::string(snippet.source.badgeLabel())), sourceFont,
                             context.surface.textTertiary},
                     Qt::AlignLeft, "detail.source");
}

} // namespace

void DetailColumnView::setDetailPanelFactory(DetailPanelFactory factory) {
    installedFactory() = std::move(factory);
}

DetailColumnView::DetailColumnView(std::shared_ptr<PopupViewModel> model,
                                   std::function<PaintContext()> context, QWidget* parent)
    : QWidget(parent)
    , model_(std::move(model))
    , context_(std::move(context)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    if (installedFactory()) {
        panel_ = installedFactory()(*this, model_);
    }
}

DetailColumnView::~DetailColumnView() = default;

std::vector<std::string> DetailColumnView::accessibleTexts() const {
    switch (content()) {
    case Content::scope:
        return {title_};
    case Content::snippet:
        return panel_ ? panel_->accessibleTexts() : std::vector<std::string>{shownSnippet()->label};
    case Content::blank:
        break;
    }
    return {};
}

std::optional<std::pair<int, std::string>> DetailColumnView::scrolledLine() const {
    if (content() != Content::snippet || !panel_) {
        return std::nullopt;
    }
    auto line = panel_->scrolledLine();
    if (!line) {
        return std::nullopt;
    }
    return std::pair{model_->detailScrollPosition(), std::move(*line)};
}

PopupViewModel::SnippetPtr DetailColumnView::shownSnippet() const {
    const DetailPreviewController& detail = model_->detail();
    if (detail.detailShellSnippet()) {
        return detail.detailShellSnippet();
    }
    return detail.previewSnippet();
}

DetailColumnView::Content DetailColumnView::content() const {
    const SearchRow* row = model_->selectedSearchRow();
    if (row != nullptr && row->kind.asScope()) {
        return Content::scope;
    }
    return shownSnippet() ? Content::snippet : Content::blank;
}

double DetailColumnView::outlineOpacity() const {
    return model_->focusedPanel() == PopupViewModel::FocusedPanel::detail ? 0.5 : 0;
}

void DetailColumnView::sync() {
    // Kept here rather than as the widget's accessible name: the pane is always "Korvane detail", and
    // each new name would be announced as an unchanged one at every key, hidden or not.
    switch (content()) {
    case Content::scope: {
        const auto& scope = *model_->selectedSearchRow()->kind.asScope();
        title_ = ScopeDetailPanelView(scope.definition, scope.isActive).accessibleName();
        break;
    }
    case Content::snippet:
        title_ = shownSnippet()->label;
        if (panel_) {
            panel_->sync(*shownSnippet());
        }
        break;
    case Content::blank:
        title_.clear();
        break;
    }
    update();
    emit accessibleRowsChanged();
}

void DetailColumnView::paintEvent(QPaintEvent*) {
    const Content shown = content();
    if (shown == Content::blank) {
        return;
    }
    const PaintContext context = context_();
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::Antialiasing);
    clipToPopupOutline(painter, *this);
    const QRectF all(0, 0, width(), height());
    if (shown == Content::scope) {
        // The panel says "active" only for the scope the query applies, as the scope row does.
        const auto& scope = *model_->selectedSearchRow()->kind.asScope();
        ScopeDetailPanelView(scope.definition, scope.isActive).paint(painter, all, context);
    } else if (const auto snippet = shownSnippet()) {
        if (panel_) {
            panel_->paint(painter, all, context, *snippet);
        } else {
            paintSnippetTitle(painter, all, context, *snippet);
        }
    }
    const double opacity = outlineOpacity();
    if (opacity > 0) {
        QPainterPath outline;
        outline.addRoundedRect(all.adjusted(2.5, 2.5, -2.5, -2.5), 4, 4);
        QPen pen(PaintContext::qcolor(withOpacity(popupAccentColor(), opacity)), 1);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(outline);
    }
    // The detail panel's texts are those of its last paint.
    emit accessibleRowsChanged();
}

} // namespace korvane
