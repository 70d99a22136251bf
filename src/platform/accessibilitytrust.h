#pragma once

#include <functional>

namespace korvane {

// Whether Korvane may watch and drive the desktop: the permission every subsystem that reads
// keys, focused text or posts input checks first. Any thread.
class AccessibilityTrust {
public:
    virtual ~AccessibilityTrust() = default;
    virtual bool isTrusted() const = 0;
    // Asks for the permission: what the user's "Grant Permission" press does, and nothing else. The
    // answer comes later, through isTrusted() and onTrustChanged. Main thread.
    virtual void requestTrust() = 0;
    // `onTrustChanged` is told on the main thread, through the Scheduler, the answer as it stands
    // once one is known, then every answer that differs from the one before; an empty function
    // stops the telling. Main thread.
    virtual void setOnTrustChanged(std::function<void(bool isTrusted)> onTrustChanged) = 0;
};

} // namespace korvane
