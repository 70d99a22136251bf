#include "files/gitfilteroverrides.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

namespace korvane {
namespace {

constexpr std::string_view filterPrefix = "filter.";
constexpr const char* commandVariables[] = {"clean", "smudge", "process"};

bool isRepositoryScope(std::string_view scope) {
    return scope == "local" || scope == "worktree";
}

bool isUserScope(std::string_view scope) {
    return scope == "global" || scope == "system";
}

// The driver name of a "filter.<driver>.<variable>" key (section and variable come lower-cased from
// git; the driver keeps its case), or an empty view for any other key.
std::string_view driverOf(std::string_view key) {
    if (!key.starts_with(filterPrefix)) {
        return {};
    }
    const std::size_t dot = key.rfind('.');
    if (dot <= filterPrefix.size()) {
        return {};
    }
    return key.substr(filterPrefix.size(), dot - filterPrefix.size());
}

} // namespace

std::vector<std::string> GitFilterOverrides::listingArguments() {
    return {"config", "--list", "--show-scope", "--includes", "-z"};
}

GitFilterOverrides GitFilterOverrides::fromListing(std::string_view listing) {
    // Entries come as "scope\0key\nvalue\0" (a key without a value has no "\n").
    std::map<std::string, std::string, std::less<>> userValues;
    // Each driver the repository defines, with the variables it sets.
    std::map<std::string, std::set<std::string>, std::less<>> repositoryDrivers;
    std::size_t at = 0;
    while (at < listing.size()) {
        const std::size_t scopeEnd = listing.find('\0', at);
        if (scopeEnd == std::string_view::npos) {
            break;
        }
        const std::string_view scope = listing.substr(at, scopeEnd - at);
        std::size_t entryEnd = listing.find('\0', scopeEnd + 1);
        if (entryEnd == std::string_view::npos) {
            entryEnd = listing.size();
        }
        const std::string_view entry = listing.substr(scopeEnd + 1, entryEnd - scopeEnd - 1);
        at = entryEnd + 1;
        const std::size_t newline = entry.find('\n');
        const std::string_view key = entry.substr(0, newline);
        const std::string_view driver = driverOf(key);
        if (driver.empty()) {
            continue;
        }
        if (isRepositoryScope(scope)) {
            repositoryDrivers[std::string(driver)].emplace(
                key.substr(filterPrefix.size() + driver.size() + 1));
        } else if (isUserScope(scope) && newline != std::string_view::npos) {
            userValues.insert_or_assign(std::string(key), std::string(entry.substr(newline + 1)));
        }
    }
    GitFilterOverrides overrides;
    for (const auto& [driver, variables] : repositoryDrivers) {
        const std::string prefix = std::string(filterPrefix) + driver + ".";
        // Only what the repository set is overridden: an empty "process" would also hide the user's
        // own clean and smudge commands of that driver.
        for (const auto& variable : variables) {
            const auto user = userValues.find(prefix + variable);
            std::string value = user != userValues.end() ? user->second
                                : variable == "required" ? "false"
                                                         : "";
            overrides.settings_.emplace_back(prefix + variable, std::move(value));
        }
        const bool userCommand =
            std::any_of(std::begin(commandVariables), std::end(commandVariables),
                        [&](const char* name) { return userValues.contains(prefix + name); });
        if (!userCommand && !variables.contains("required")) {
            // A required filter left without a command fails every command that would have used it.
            overrides.settings_.emplace_back(prefix + "required", "false");
        }
    }
    return overrides;
}

std::vector<std::pair<std::string, std::string>> GitFilterOverrides::environment() const {
    std::vector<std::pair<std::string, std::string>> variables;
    if (settings_.empty()) {
        return variables;
    }
    variables.emplace_back("GIT_CONFIG_COUNT", std::to_string(settings_.size()));
    for (std::size_t index = 0; index < settings_.size(); ++index) {
        variables.emplace_back("GIT_CONFIG_KEY_" + std::to_string(index), settings_[index].first);
        variables.emplace_back("GIT_CONFIG_VALUE_" + std::to_string(index), settings_[index].second);
    }
    return variables;
}

} // namespace korvane
