#include "gitguard/gitconfiglisting.h"

#include <algorithm>

namespace korvane {
namespace {

std::size_t fieldsPerEntry(bool scoped) {
    return scoped ? 3 : 1;
}

// How many entries `parse` makes of `listing`: every field ends with a NUL but perhaps the last, and
// an entry cut short by the end of the listing is one still.
std::size_t entryCount(std::string_view listing, bool scoped) {
    const auto ended = static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\0'));
    const std::size_t fields = ended + (listing.empty() || listing.back() == '\0' ? 0 : 1);
    return (fields + fieldsPerEntry(scoped) - 1) / fieldsPerEntry(scoped);
}

} // namespace

std::vector<std::string> GitConfigListing::arguments() {
    return {"config", "--list", "--show-scope", "--show-origin", "--includes", "-z"};
}

std::vector<GitConfigEntry> GitConfigListing::parse(std::string_view listing, bool scoped) {
    std::vector<GitConfigEntry> entries;
    entries.reserve(entryCount(listing, scoped));
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
            entry.value = keyValue.substr(newline + 1);
        }
        entries.push_back(entry);
    }
    return entries;
}

std::optional<std::vector<GitConfigEntry>> GitConfigListing::parse(std::string_view listing, bool scoped,
                                                                   const OutputBudget& budget) {
    if (!budget.take(entryCount(listing, scoped) * sizeof(GitConfigEntry))) {
        return std::nullopt;
    }
    return parse(listing, scoped);
}

bool GitConfigListing::isUsers(const GitConfigEntry& entry) {
    if (entry.scope == "command") {
        return true;
    }
    return (entry.scope == "global" || entry.scope == "system") && originFile(entry).starts_with('/');
}

std::string_view GitConfigListing::originFile(const GitConfigEntry& entry) {
    constexpr std::string_view file = "file:";
    return entry.origin.starts_with(file) ? entry.origin.substr(file.size()) : std::string_view();
}

} // namespace korvane
