#include "gitguard/gitconfiglisting.h"

#include <algorithm>

namespace korvane {

std::vector<std::string> GitConfigListing::arguments() {
    return {"config", "--list", "--show-scope", "--show-origin", "--includes", "-z"};
}

std::vector<GitConfigEntry> GitConfigListing::parse(std::string_view listing, bool scoped) {
    std::vector<GitConfigEntry> entries;
    const auto field = [&]() {
        const std::size_t end = std::min(listing.find('\0'), listing.size());
        const std::string_view text = listing.substr(0, end);
        listing.remove_prefix(std::min(end + 1, listing.size()));
        return text;
    };
    while (!listing.empty()) {
        GitConfigEntry entry;
        if (scoped) {
            entry.scope = field();
            entry.origin = field();
        }
        const std::string_view keyValue = field();
        const std::size_t newline = keyValue.find('\n');
        entry.key = keyValue.substr(0, newline);
        if (newline != std::string_view::npos) {
            entry.value = std::string(keyValue.substr(newline + 1));
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool GitConfigListing::isUsers(const GitConfigEntry& entry) {
    if (entry.scope == "command") {
        return true;
    }
    return (entry.scope == "global" || entry.scope == "system") && originFile(entry).starts_with('/');
}

std::string_view GitConfigListing::originFile(const GitConfigEntry& entry) {
    constexpr std::string_view file = "file:";
    const std::string_view origin = entry.origin;
    return origin.starts_with(file) ? origin.substr(file.size()) : std::string_view();
}

} // namespace korvane
