#include "settings/views/popuppreviewsection.h"

#include "popup/views/popupcontentview.h"
#include "popup/views/popupview.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <algorithm>

namespace korvane {
namespace {

// The sample popup never takes focus or input, nor do its parts.
void makeInert(QWidget* widget) {
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    widget->setFocusPolicy(Qt::NoFocus);
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
        child->setFocusPolicy(Qt::NoFocus);
    }
}

} // namespace

PopupPreviewSection::PopupPreviewSection(std::shared_ptr<PopupViewModel> previewVM,
                                         const ThemeConfig& themeConfig, QWidget* parent)
    : QWidget(parent)
    , previewVM_(std::move(previewVM)) {
    setObjectName(QStringLiteral("popupPreview"));
    setAccessibleName(QStringLiteral("Preview"));
    setFocusPolicy(Qt::NoFocus);
    content_ = new PopupContentView(previewVM_, this);
    // Not the popup's own name: a screen reader, or a script looking for the popup, would take one for
    // the other.
    content_->surface().setAccessibleName(QStringLiteral("Preview completions"));
    makeInert(content_);
    setThemeConfig(themeConfig);
}

int PopupPreviewSection::frameWidth(const ThemeConfig& themeConfig) {
    const double width = themeConfig.popupWidth.value_or(defaultWidth);
    return static_cast<int>(std::min(width, static_cast<double>(maxWidth)));
}

double PopupPreviewSection::backdropLevel(const ThemeConfig& themeConfig) {
    return themeConfig.appearance == PopupAppearance::light ? 0.85 : 0.1;
}

void PopupPreviewSection::setThemeConfig(const ThemeConfig& themeConfig) {
    previewVM_->setThemeConfig(themeConfig);
    setFixedSize(frameWidth(themeConfig), previewHeight);
    update();
}

void PopupPreviewSection::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    content_->setGeometry(rect());
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(rect()), radius, radius);
    content_->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
}

void PopupPreviewSection::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const int level = static_cast<int>(backdropLevel(previewVM_->themeConfig()) * 255 + 0.5);
    painter.setBrush(QColor(level, level, level));
    painter.drawRoundedRect(QRectF(rect()), radius, radius);
}

} // namespace korvane
