#pragma once

#include "platform/accessibilitytrust.h"
#include "platform/keytapbackend.h"

#include <memory>

namespace korvane::x11 {

class PostedKeyJournal;

// Creates X11 key taps, only while Korvane is trusted. Main thread.
class X11KeyTapBackend final : public KeyTapBackend {
public:
    X11KeyTapBackend(std::shared_ptr<AccessibilityTrust> trust, std::shared_ptr<PostedKeyJournal> journal);

    std::shared_ptr<KeyTap> createTap() override;

private:
    std::shared_ptr<AccessibilityTrust> trust_;
    std::shared_ptr<PostedKeyJournal> journal_;
};

} // namespace korvane::x11
