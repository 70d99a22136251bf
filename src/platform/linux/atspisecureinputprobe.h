#pragma once

#include "platform/secureinputprobe.h"

#include <memory>

namespace korvane::atspi {

class AtspiAccessibleText;

// Secure input on the accessibility bus: on while the focused object is a password field. Shares
// the focus tracking of the focused-text port; without an accessibility bus it is always off.
// Main thread.
class AtspiSecureInputProbe final : public SecureInputProbe {
public:
    explicit AtspiSecureInputProbe(std::shared_ptr<AtspiAccessibleText> text);

    bool isSecureInputEnabled() override;

private:
    std::shared_ptr<AtspiAccessibleText> text_;
};

} // namespace korvane::atspi
