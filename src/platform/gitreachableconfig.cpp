#include "platform/gitreachableconfig.h"

#include "platform/gitreachablewalk.h"

#include <algorithm>

namespace korvane {

std::vector<GitConfigEntry> GitReachableConfig::parseEntries(std::string_view listing, bool scoped) {
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

GitReachableConfig GitReachableConfig::fromEntries(std::vector<GitConfigEntry> entries,
                                                   std::set<std::string, std::less<>> drivers) {
    GitReachableConfig config;
    config.entries_ = std::move(entries);
    config.attributeDrivers_ = std::move(drivers);
    return config;
}

std::vector<std::string> GitReachableConfig::listingArguments() {
    return {"config", "--list", "--show-scope", "--show-origin", "--includes", "-z"};
}

Expected<GitReachableConfig, std::string> GitReachableConfig::read(ProcessRunner& runner,
                                                                   const ProcessRequest& base,
                                                                   const std::vector<GitConfigEntry>* listed,
                                                                   Reach reach) {
    GitReachableWalk walk(runner, base);
    if (auto error = walk.walk(listed, reach)) {
        return makeUnexpected(std::move(*error));
    }
    return fromEntries(walk.entries(), walk.attributeDrivers());
}

} // namespace korvane
