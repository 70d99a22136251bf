#pragma once

namespace korvane {

// Whether typed keys are now private to the focused application (a password field has the focus),
// so completions pause. Main thread; answers quickly.
class SecureInputProbe {
public:
    virtual ~SecureInputProbe() = default;
    virtual bool isSecureInputEnabled() = 0;
};

} // namespace korvane
