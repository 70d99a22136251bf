#pragma once

#include "platform/accessibletext.h"
#include "platform/fake/fakeeventlog.h"
#include "platform/fake/faketextfield.h"

#include <memory>
#include <set>

namespace korvane {

// Accessible text over a FakeTextField. Records "ax select <location>,<length>" and
// "ax set <text>"; the switches make single steps fail the way real applications do.
class FakeAccessibleText final : public AccessibleText {
public:
    FakeAccessibleText(std::shared_ptr<FakeTextField> field, std::shared_ptr<FakeEventLog> log)
        : field_(std::move(field))
        , log_(std::move(log)) {}

    std::unique_ptr<AccessibleTextElement> focusedElement() override;

    bool hasFocusedElement = true;
    std::optional<std::int32_t> processID;
    bool canReadRange = true;
    bool canReadText = true;
    // Calls of setSelectedRange (counted from 1) that fail without changing anything.
    std::set<int> failingRangeCalls;
    // What setSelectedText does: `refused` changes nothing, `failed` deletes the selection only.
    TextEditResult setTextResult = TextEditResult::done;

private:
    friend class FakeAccessibleTextElement;

    std::shared_ptr<FakeTextField> field_;
    std::shared_ptr<FakeEventLog> log_;
    int rangeCalls_ = 0;
};

} // namespace korvane
