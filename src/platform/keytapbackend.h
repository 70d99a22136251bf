#pragma once

#include "platform/keytap.h"

#include <memory>

namespace korvane {

// Creates the system's key tap. Called on the main thread.
class KeyTapBackend {
public:
    virtual ~KeyTapBackend() = default;

    // A new, enabled tap, or null when the system refuses one (no permission, no display).
    virtual std::shared_ptr<KeyTap> createTap() = 0;
};

} // namespace korvane
