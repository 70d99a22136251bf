#pragma once

#include "platform/accessibletext.h"

#include <memory>

typedef struct _AtspiAccessible AtspiAccessible;
typedef struct _AtspiEvent AtspiEvent;
typedef struct _AtspiEventListener AtspiEventListener;

namespace korvane::atspi {

// The focused text element over AT-SPI: follows focus events and, when it has seen none for the
// focused window, looks for the focused object in the active window. Replaces text with the
// EditableText interface. Its events arrive through the GLib main context, which the main loop
// must iterate (Qt's does on Linux). Main thread.
class AtspiAccessibleText final : public AccessibleText {
public:
    // Null when the accessibility bus cannot be reached.
    static std::shared_ptr<AtspiAccessibleText> create();
    ~AtspiAccessibleText() override;
    AtspiAccessibleText(const AtspiAccessibleText&) = delete;
    AtspiAccessibleText& operator=(const AtspiAccessibleText&) = delete;

    std::unique_ptr<AccessibleTextElement> focusedElement() override;

    // Whether the object that focus events last named still has the focus and has `role` (an
    // AtspiRole). Searches nothing, so it answers within two short bus timeouts at most.
    bool focusedObjectHasRole(int role);

    // How many objects the search below the active window looks at, at most.
    static constexpr int searchLimit = 2000;

private:
    AtspiAccessibleText() = default;
    static void onFocusEvent(AtspiEvent* event, void* self);
    AtspiAccessible* findFocused();
    static bool belongsToKorvane(AtspiAccessible* object);

    AtspiEventListener* listener_ = nullptr;
    // Owned reference; null when the last focused object lost the focus.
    AtspiAccessible* focused_ = nullptr;
};

} // namespace korvane::atspi
