#pragma once

namespace korvane {

// Whether Korvane may watch and drive the desktop: the permission every subsystem that reads
// keys, focused text or posts input checks first. Any thread.
class AccessibilityTrust {
public:
    virtual ~AccessibilityTrust() = default;
    virtual bool isTrusted() const = 0;
};

} // namespace korvane
