#include "platform/linux/atspisecureinputprobe.h"

#include "platform/linux/atspiaccessibletext.h"

#include <atspi/atspi.h>

namespace korvane::atspi {

AtspiSecureInputProbe::AtspiSecureInputProbe(std::shared_ptr<AtspiAccessibleText> text)
    : text_(std::move(text)) {}

bool AtspiSecureInputProbe::isSecureInputEnabled() {
    return text_ && text_->focusedObjectHasRole(ATSPI_ROLE_PASSWORD_TEXT);
}

} // namespace korvane::atspi
