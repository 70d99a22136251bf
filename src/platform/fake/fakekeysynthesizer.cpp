#include "platform/fake/fakekeysynthesizer.h"

#include <fmt/format.h>

namespace korvane {

bool FakeKeySynthesizer::beginInput() {
    log_->add(canBegin ? "begin" : "begin refused");
    return canBegin;
}

bool FakeKeySynthesizer::postKeyPair(std::uint16_t keyCode, std::uint64_t flags) {
    log_->add(flags == 0 ? fmt::format("key {}", keyCode) : fmt::format("key {} flags {:x}", keyCode, flags));
    if (onKeyPair) {
        onKeyPair(keyCode, flags);
    }
    return true;
}

bool FakeKeySynthesizer::postText(std::string_view text) {
    log_->add(fmt::format("text {}", text));
    if (onText) {
        onText(text);
    }
    return true;
}

} // namespace korvane
