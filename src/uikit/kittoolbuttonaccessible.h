#pragma once

#include "uikit/buttonaccessible.h"
#include "uikit/kittoolbutton.h"

namespace korvane {

// What assistive technology is told of a KitToolButton: a button named by its accessible name (or
// its text), unavailable while the button cannot act (with no press to offer), pressed while held
// down, and expanded or collapsed when it shows and hides a part of the window. Pressing it clicks
// it. Main thread.
class KitToolButtonAccessible final : public ButtonAccessible<KitToolButton, KitToolButtonAccessible> {
public:
    explicit KitToolButtonAccessible(KitToolButton* button);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

private:
    bool canPress() const override;
};

} // namespace korvane
