#pragma once

#include "input/pasteshortcut.h"
#include "platform/keyequivalentsource.h"

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace korvane {

// Finds the key combination of each application's Paste menu item from the user's key equivalents
// (the application's own, then the global ones, then Command-V) and keeps it for the life of the
// process. The shell creates one and shares it; any thread.
class PasteShortcutCache {
public:
    static constexpr std::string_view globalDomain = "NSGlobalDomain";
    // The Paste item's title in the languages looked for, in the order they are tried.
    static constexpr std::array<std::string_view, 8> pasteMenuTitles = {
        "Paste", "&Paste", "Coller", "Einfügen", "Pegar", "Incolla", "粘贴", "貼上"};

    explicit PasteShortcutCache(std::shared_ptr<KeyEquivalentSource> source);

    // The shortcut of `bundleID`, computed on first use; a later change of the key equivalents is
    // not seen.
    PasteShortcut pasteShortcut(const std::string& bundleID);

    // The Paste binding of one domain, trying the titles in order; a binding that does not parse is
    // reported and the next title tried.
    std::optional<PasteShortcut> readPasteShortcut(const std::string& domain) const;

    // A key-equivalent string ("@~v", "$^k", ...): modifier characters anywhere, the last other
    // character is the key. Without modifier characters the key takes Command alone.
    static std::optional<PasteShortcut> parseKeyEquivalent(std::string_view equivalent);

    // The virtual key of a lower-case key character, for the letters and digits of the main block
    // and the Insert key.
    static std::optional<std::uint16_t> virtualKey(std::string_view character);

private:
    std::shared_ptr<KeyEquivalentSource> source_;
    std::mutex mutex_;
    std::unordered_map<std::string, PasteShortcut> shortcuts_;
};

} // namespace korvane
