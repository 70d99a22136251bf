#include "platform/fake/fakepasteboard.h"

#include <fmt/format.h>

namespace korvane {

std::optional<std::string> FakePasteboard::string() const {
    if (items_.empty()) {
        return std::nullopt;
    }
    for (const auto& [type, bytes] : items_.front().dataByType) {
        if (type == textType) {
            return bytes;
        }
    }
    return std::nullopt;
}

void FakePasteboard::setString(const std::string& text) {
    items_ = {PasteboardItem{{textType}, {{textType, text}}}};
    ++changeCount_;
}

std::vector<std::vector<std::string>> FakePasteboard::itemTypes() const {
    std::vector<std::vector<std::string>> types;
    for (const PasteboardItem& item : items_) {
        types.push_back(item.types);
    }
    return types;
}

std::optional<std::string> FakePasteboard::data(std::size_t item, const std::string& type) const {
    reads.push_back(type);
    if (item >= items_.size()) {
        return std::nullopt;
    }
    for (const auto& [name, bytes] : items_[item].dataByType) {
        if (name == type) {
            return bytes;
        }
    }
    return std::nullopt;
}

bool FakePasteboard::replaceWithString(const std::string& text) {
    if (log_) {
        log_->add(fmt::format("clipboard set {}", text));
    }
    items_.clear();
    ++changeCount_;
    taken_ = false;
    if (!canSetString) {
        return false;
    }
    setString(text);
    primarySelection = text;
    return true;
}

void FakePasteboard::replaceWithItems(const std::vector<PasteboardItem>& items) {
    if (log_) {
        log_->add(fmt::format("clipboard restore {} items", items.size()));
    }
    items_ = items;
    ++changeCount_;
}

} // namespace korvane
