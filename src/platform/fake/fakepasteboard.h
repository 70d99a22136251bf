#pragma once

#include "platform/pasteboard.h"

namespace korvane {

// An in-memory clipboard for tests.
class FakePasteboard final : public Pasteboard {
public:
    std::optional<std::string> string() const override { return text_; }
    void setString(const std::string& text) override { text_ = text; }
    void clear() { text_.reset(); }

private:
    std::optional<std::string> text_;
};

} // namespace korvane
