#include "platform/fake/fakekeytapbackend.h"

namespace korvane {

std::shared_ptr<KeyTap> FakeKeyTapBackend::createTap() {
    if (refuseCreation) {
        return nullptr;
    }
    auto tap = std::make_shared<FakeKeyTap>();
    std::lock_guard lock(mutex_);
    taps_.push_back(tap);
    return tap;
}

std::shared_ptr<FakeKeyTap> FakeKeyTapBackend::lastTap() const {
    std::lock_guard lock(mutex_);
    return taps_.empty() ? nullptr : taps_.back();
}

int FakeKeyTapBackend::createdCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(taps_.size());
}

} // namespace korvane
