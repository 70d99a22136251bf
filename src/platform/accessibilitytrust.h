#pragma once

namespace korvane {

// Whether Korvane may watch and drive the desktop: the permission every subsystem that reads
// keys, focused text or posts input checks first. Any thread.
class AccessibilityTrust {
public:
    virtual ~AccessibilityTrust() = default;
    virtual bool isTrusted() const = 0;
    // Asks for the permission: what the user's "Grant Permission" press does, and nothing else. The
    // answer comes later, through isTrusted(). Main thread.
    virtual void requestTrust() = 0;
};

} // namespace korvane
