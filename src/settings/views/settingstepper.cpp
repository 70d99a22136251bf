#include "settings/views/settingstepper.h"

#include "uikit/kittoolbutton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>

namespace korvane {

SettingStepper::SettingStepper(double lower, double upper, double step, std::function<QString(double)> format,
                               QWidget* parent)
    : QWidget(parent)
    , lower_(lower)
    , upper_(upper)
    , step_(step)
    , format_(std::move(format)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("value"));
    down_ = new KitToolButton(this);
    down_->setObjectName(QStringLiteral("decrement"));
    down_->setText(QStringLiteral("\u2212"));
    up_ = new KitToolButton(this);
    up_->setObjectName(QStringLiteral("increment"));
    up_->setText(QStringLiteral("+"));
    row->addWidget(label_);
    row->addStretch(1);
    row->addWidget(down_);
    row->addWidget(up_);
    connect(down_, &QToolButton::clicked, this, [this] { decrement(); });
    connect(up_, &QToolButton::clicked, this, [this] { increment(); });
    refresh();
}

void SettingStepper::setValue(double value) {
    value_ = value;
    refresh();
}

QString SettingStepper::text() const {
    return label_->text();
}

void SettingStepper::increment() {
    if (value_ >= upper_) {
        return;
    }
    value_ = std::min(value_ + step_, upper_);
    refresh();
    if (onStep) {
        onStep(value_);
    }
}

void SettingStepper::decrement() {
    if (value_ <= lower_) {
        return;
    }
    value_ = std::max(value_ - step_, lower_);
    refresh();
    if (onStep) {
        onStep(value_);
    }
}

void SettingStepper::refresh() {
    label_->setText(format_(value_));
    setAccessibleName(label_->text());
    down_->setAccessibleName(QStringLiteral("Decrease ") + label_->text());
    up_->setAccessibleName(QStringLiteral("Increase ") + label_->text());
    // Not disabled: a disabled button hands the focus on, and the next press would act on another
    // control.
    down_->setAvailable(value_ > lower_);
    up_->setAvailable(value_ < upper_);
}

} // namespace korvane
