#pragma once

#include "platform/fake/fakekeytap.h"
#include "platform/keytapbackend.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace korvane {

// Hands out FakeKeyTaps, or refuses to while `refuseCreation` is set. Any thread.
class FakeKeyTapBackend final : public KeyTapBackend {
public:
    std::shared_ptr<KeyTap> createTap() override;

    // The most recently created tap, if any.
    std::shared_ptr<FakeKeyTap> lastTap() const;
    int createdCount() const;

    std::atomic<bool> refuseCreation{false};

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<FakeKeyTap>> taps_;
};

} // namespace korvane
