#include "platform/linux/builtinkeyequivalentsource.h"

namespace korvane {

BuiltinKeyEquivalentSource::BuiltinKeyEquivalentSource(std::unordered_set<std::string> terminalIDs)
    : terminalIDs_(std::move(terminalIDs)) {}

const std::unordered_set<std::string>& BuiltinKeyEquivalentSource::primarySelectionTerminals() {
    static const std::unordered_set<std::string> ids{
        "xterm", "debian-xterm", "XTerm", "uxterm", "debian-uxterm", "UXTerm", "rxvt-unicode", "URxvt",
    };
    return ids;
}

std::optional<std::map<std::string, std::string>>
BuiltinKeyEquivalentSource::keyEquivalents(const std::string& domain) const {
    if (primarySelectionTerminals().count(domain) != 0) {
        return std::map<std::string, std::string>{{"Paste", "$" + std::string(insertKey)}};
    }
    if (terminalIDs_.count(domain) != 0) {
        return std::map<std::string, std::string>{{"Paste", "@$v"}};
    }
    return std::nullopt;
}

} // namespace korvane
