#include "platform/linux/x11keytapbackend.h"

#include "platform/linux/x11keytap.h"

namespace korvane::x11 {

X11KeyTapBackend::X11KeyTapBackend(std::shared_ptr<AccessibilityTrust> trust,
                                   std::shared_ptr<PostedKeyJournal> journal)
    : trust_(std::move(trust))
    , journal_(std::move(journal)) {}

std::shared_ptr<KeyTap> X11KeyTapBackend::createTap() {
    if (!trust_->isTrusted()) {
        return nullptr;
    }
    return X11KeyTap::open(journal_);
}

} // namespace korvane::x11
