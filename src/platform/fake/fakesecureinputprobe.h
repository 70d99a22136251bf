#pragma once

#include "platform/secureinputprobe.h"

namespace korvane {

// A secure-input answer that tests switch on and off, counting how often it was asked. Main thread.
class FakeSecureInputProbe final : public SecureInputProbe {
public:
    bool isSecureInputEnabled() override {
        ++queries;
        return enabled;
    }

    bool enabled = false;
    int queries = 0;
};

} // namespace korvane
