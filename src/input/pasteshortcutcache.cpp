#include "input/pasteshortcutcache.h"

#include "base/diagnostics.h"
#include "base/graphemetext.h"
#include "base/unicode.h"

#include <fmt/format.h>

namespace korvane {
namespace {

struct CharacterKey {
    std::string_view character;
    std::uint16_t keyCode;
};

// Key codes of the ANSI layout.
constexpr CharacterKey characterKeys[] = {
    {"a", 0},  {"s", 1},  {"d", 2},  {"f", 3},  {"h", 4},  {"g", 5},  {"z", 6},  {"x", 7},  {"c", 8},
    {"v", 9},  {"b", 11}, {"q", 12}, {"w", 13}, {"e", 14}, {"r", 15}, {"y", 16}, {"t", 17}, {"1", 18},
    {"2", 19}, {"3", 20}, {"4", 21}, {"6", 22}, {"5", 23}, {"9", 25}, {"7", 26}, {"8", 28}, {"0", 29},
    {"o", 31}, {"u", 32}, {"i", 34}, {"p", 35}, {"l", 37}, {"j", 38}, {"k", 40}, {"n", 45}, {"m", 46},
    {KeyEquivalentSource::insertKey, keycode::insert},
};

std::optional<std::uint64_t> modifierFlag(std::string_view character) {
    if (character == "@") {
        return keyflag::command;
    }
    if (character == "^") {
        return keyflag::control;
    }
    if (character == "~") {
        return keyflag::option;
    }
    if (character == "$") {
        return keyflag::shift;
    }
    return std::nullopt;
}

} // namespace

PasteShortcutCache::PasteShortcutCache(std::shared_ptr<KeyEquivalentSource> source)
    : source_(std::move(source)) {}

PasteShortcut PasteShortcutCache::pasteShortcut(const std::string& bundleID) {
    {
        std::lock_guard lock(mutex_);
        if (auto found = shortcuts_.find(bundleID); found != shortcuts_.end()) {
            return found->second;
        }
    }
    // Read without the lock; two threads computing the same entry store the same value.
    std::optional<PasteShortcut> shortcut = readPasteShortcut(bundleID);
    if (!shortcut) {
        shortcut = readPasteShortcut(std::string(globalDomain));
    }
    PasteShortcut answer = shortcut.value_or(PasteShortcut{});
    std::lock_guard lock(mutex_);
    shortcuts_[bundleID] = answer;
    return answer;
}

std::optional<PasteShortcut> PasteShortcutCache::readPasteShortcut(const std::string& domain) const {
    if (!source_) {
        return std::nullopt;
    }
    auto equivalents = source_->keyEquivalents(domain);
    if (!equivalents) {
        return std::nullopt;
    }
    for (std::string_view title : pasteMenuTitles) {
        auto entry = equivalents->find(std::string(title));
        if (entry == equivalents->end()) {
            continue;
        }
        if (auto shortcut = parseKeyEquivalent(entry->second)) {
            return shortcut;
        }
        diagnostic(fmt::format("Found paste shortcut '{}' for '{}' but failed to parse; falling back",
                               entry->second, title));
    }
    return std::nullopt;
}

std::optional<PasteShortcut> PasteShortcutCache::parseKeyEquivalent(std::string_view equivalent) {
    GraphemeText characters(equivalent);
    std::uint64_t flags = 0;
    std::optional<std::string_view> key;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (auto flag = modifierFlag(characters[i])) {
            flags |= *flag;
        } else {
            key = characters[i];
        }
    }
    if (!key) {
        return std::nullopt;
    }
    auto keyCode = virtualKey(isAscii(*key) ? asciiLowercased(std::string(*key)) : lowercased(*key));
    if (!keyCode) {
        return std::nullopt;
    }
    return PasteShortcut{*keyCode, flags == 0 ? keyflag::command : flags};
}

std::optional<std::uint16_t> PasteShortcutCache::virtualKey(std::string_view character) {
    for (const CharacterKey& entry : characterKeys) {
        if (entry.character == character) {
            return entry.keyCode;
        }
    }
    return std::nullopt;
}

} // namespace korvane
