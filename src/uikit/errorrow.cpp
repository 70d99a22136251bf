#include "uikit/errorrow.h"

#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"

#include <QHBoxLayout>
#include <QLabel>

namespace korvane {

ErrorRow::ErrorRow(const QString& textName, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* warning = new QLabel(this);
    warning->setPixmap(
        SymbolIcon::icon("exclamationmark.triangle.fill", KitColors::destructive(), 12).pixmap(12, 12));
    text_ = new QLabel(this);
    text_->setObjectName(textName);
    text_->setWordWrap(true);
    QPalette red = text_->palette();
    red.setColor(QPalette::WindowText, KitColors::destructive());
    text_->setPalette(red);
    QFont caption = text_->font();
    caption.setPointSizeF(8.5);
    text_->setFont(caption);
    layout->addWidget(warning);
    layout->addWidget(text_, 1);
}

} // namespace korvane
