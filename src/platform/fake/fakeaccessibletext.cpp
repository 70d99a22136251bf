#include "platform/fake/fakeaccessibletext.h"

#include <fmt/format.h>

namespace korvane {

class FakeAccessibleTextElement final : public AccessibleTextElement {
public:
    explicit FakeAccessibleTextElement(FakeAccessibleText& owner)
        : owner_(owner) {}

    std::optional<std::int32_t> processID() override { return owner_.processID; }

    std::optional<TextSpan> selectedRange() override {
        if (!owner_.canReadRange) {
            return std::nullopt;
        }
        return owner_.field_->selection();
    }

    bool setSelectedRange(TextSpan span) override {
        const int call = ++owner_.rangeCalls_;
        if (owner_.failingRangeCalls.contains(call)) {
            owner_.log_->add(fmt::format("ax select {},{} failed", span.location, span.length));
            return false;
        }
        owner_.log_->add(fmt::format("ax select {},{}", span.location, span.length));
        owner_.field_->select(span);
        return true;
    }

    std::optional<std::string> text(TextSpan span) override {
        if (!owner_.canReadText) {
            return std::nullopt;
        }
        FakeTextField copy = *owner_.field_;
        copy.select({0, 0});
        const std::string all = owner_.field_->text();
        // Cut by code points through a copy of the field: select the span, read around it.
        copy.select(span);
        const std::string before = copy.beforeCaret();
        const std::string after = copy.afterCaret();
        return all.substr(before.size(), all.size() - before.size() - after.size());
    }

    TextEditResult setSelectedText(const std::string& text) override {
        owner_.log_->add(fmt::format("ax set {}", text));
        switch (owner_.setTextResult) {
        case TextEditResult::done:
            owner_.field_->type(text);
            break;
        case TextEditResult::refused:
            break;
        case TextEditResult::failed:
            owner_.field_->type("");
            break;
        }
        return owner_.setTextResult;
    }

private:
    FakeAccessibleText& owner_;
};

std::unique_ptr<AccessibleTextElement> FakeAccessibleText::focusedElement() {
    if (!hasFocusedElement) {
        return nullptr;
    }
    return std::make_unique<FakeAccessibleTextElement>(*this);
}

} // namespace korvane
