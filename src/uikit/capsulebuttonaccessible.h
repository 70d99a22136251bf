#pragma once

#include "uikit/buttonaccessible.h"
#include "uikit/capsulebutton.h"

namespace korvane {

// What assistive technology is told of a CapsuleButton: a button, or a page tab once the button has
// been given a selected state (a scope tab), reported then as selected and checked or not. Pressing
// it clicks it. Main thread.
class CapsuleButtonAccessible final : public ButtonAccessible<CapsuleButton, CapsuleButtonAccessible> {
public:
    explicit CapsuleButtonAccessible(CapsuleButton* button);

    QAccessible::Role role() const override;
    QAccessible::State state() const override;
};

} // namespace korvane
