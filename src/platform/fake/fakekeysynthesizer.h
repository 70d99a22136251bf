#pragma once

#include "platform/fake/fakeeventlog.h"
#include "platform/keysynthesizer.h"

#include <functional>
#include <memory>

namespace korvane {

// Records posted input as "begin", "end", "key <code>" (with " flags <hex>" when flags are set) and
// "text <utf8>"; the on* hooks let a test apply the keys to a model of a text field.
class FakeKeySynthesizer final : public KeySynthesizer {
public:
    explicit FakeKeySynthesizer(std::shared_ptr<FakeEventLog> log)
        : log_(std::move(log)) {}

    bool beginInput() override;
    void endInput() override { log_->add("end"); }
    bool postKeyPair(std::uint16_t keyCode, std::uint64_t flags) override;
    bool postText(std::string_view text) override;

    bool canBegin = true;
    std::function<void(std::uint16_t keyCode, std::uint64_t flags)> onKeyPair;
    std::function<void(std::string_view text)> onText;

private:
    std::shared_ptr<FakeEventLog> log_;
};

} // namespace korvane
