#pragma once

#include "platform/fake/fakeeventlog.h"
#include "platform/pasteboard.h"

#include <memory>

namespace korvane {

// An in-memory clipboard for tests. Text lives under "text/plain;charset=utf-8"; every write raises
// the change count. With a log it records "clipboard set <text>" and "clipboard restore <n> items".
class FakePasteboard final : public Pasteboard {
public:
    static constexpr const char* textType = "text/plain;charset=utf-8";

    FakePasteboard() = default;
    explicit FakePasteboard(std::shared_ptr<FakeEventLog> log)
        : log_(std::move(log)) {}

    std::optional<std::string> string() const override;
    void setString(const std::string& text) override;
    void clear() {
        items_.clear();
        ++changeCount_;
    }

    std::vector<std::vector<std::string>> itemTypes() const override;
    std::optional<std::string> data(std::size_t item, const std::string& type) const override;
    std::uint64_t changeCount() const override { return changeCount_; }
    bool replaceWithString(const std::string& text) override;
    // A take counts as long past, as from a target that asks at once.
    std::optional<std::chrono::microseconds> sinceTextTaken() const override {
        return taken_ ? std::optional(std::chrono::microseconds(std::chrono::seconds(1))) : std::nullopt;
    }
    void replaceWithItems(const std::vector<PasteboardItem>& items) override;

    // What a target does when it pastes: takes the text.
    std::optional<std::string> takeText() {
        taken_ = true;
        return string();
    }

    const std::vector<PasteboardItem>& items() const { return items_; }
    // What another application does: writes without Korvane knowing.
    void writeFromElsewhere(std::vector<PasteboardItem> items) {
        items_ = std::move(items);
        ++changeCount_;
    }

    bool canSetString = true;
    // The selection the desktop pastes with Shift+Insert, set alongside.
    std::optional<std::string> primarySelection;
    // Formats whose data is read, in order.
    mutable std::vector<std::string> reads;

private:
    std::shared_ptr<FakeEventLog> log_;
    std::vector<PasteboardItem> items_;
    std::uint64_t changeCount_ = 0;
    bool taken_ = false;
};

} // namespace korvane
