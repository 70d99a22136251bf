#pragma once

#include "platform/keyequivalentsource.h"

#include <string>
#include <unordered_set>

namespace korvane {

// The Paste key of the applications whose Paste is not Ctrl+V, by application identifier: terminals
// paste with Ctrl+Shift+V, and xterm and rxvt-unicode paste the primary selection with Shift+Insert.
// Nothing for every other application and for the global domain, which leaves Command-V (sent as
// Ctrl+V). Immutable; any thread.
class BuiltinKeyEquivalentSource final : public KeyEquivalentSource {
public:
    explicit BuiltinKeyEquivalentSource(std::unordered_set<std::string> terminalIDs);

    std::optional<std::map<std::string, std::string>> keyEquivalents(const std::string& domain) const override;

    // Terminals that paste the primary selection with Shift+Insert and have no Ctrl+Shift+V.
    static const std::unordered_set<std::string>& primarySelectionTerminals();

private:
    std::unordered_set<std::string> terminalIDs_;
};

} // namespace korvane
