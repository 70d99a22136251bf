#include "platform/gitprogramoverrides.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <optional>

namespace korvane {
namespace {

constexpr std::string_view filterPrefix = "filter.";
constexpr const char* filterCommands[] = {"clean", "smudge", "process"};
constexpr std::string_view aliasPrefix = "alias.";
constexpr std::string_view hooksKey = "core.hookspath";
// A hooks folder that can hold no hook.
constexpr std::string_view noHooks = "/dev/null";
// Far more than anyone passes; git itself refuses counts past INT_MAX.
constexpr std::size_t inheritedCountLimit = 100000;

struct Neutral {
    std::string_view key;
    std::string_view value;
};

// Settings naming a program, each with the value that runs nothing of the repository's. An empty
// external diff makes git report that it cannot run one rather than run the repository's.
constexpr Neutral programSettings[] = {
    {"core.fsmonitor", "false"},   {"core.sshcommand", "ssh"},
    {"core.askpass", ""},          {"diff.external", ""},
    {"gpg.program", "gpg"},        {"gpg.openpgp.program", "gpg"},
    {"gpg.x509.program", "gpgsm"}, {"gpg.ssh.program", "ssh-keygen"},
};

struct DriverVariable {
    std::string_view section;
    std::string_view variable;
    std::string_view value;
};

// Variables of "<section>.<driver>.<variable>" drivers that name a program; "cat" converts nothing.
constexpr DriverVariable driverPrograms[] = {
    {"diff", "textconv", "cat"},
    {"diff", "command", ""},
    {"merge", "driver", ""},
};

struct Entry {
    std::string_view scope;
    std::string_view key;
    std::optional<std::string_view> value;
};

// Entries come as "scope\0key\nvalue\0" (a key without a value has no "\n").
std::vector<Entry> entriesOf(std::string_view listing) {
    std::vector<Entry> entries;
    std::size_t at = 0;
    while (at < listing.size()) {
        const std::size_t scopeEnd = listing.find('\0', at);
        if (scopeEnd == std::string_view::npos) {
            break;
        }
        std::size_t entryEnd = listing.find('\0', scopeEnd + 1);
        if (entryEnd == std::string_view::npos) {
            entryEnd = listing.size();
        }
        const std::string_view entry = listing.substr(scopeEnd + 1, entryEnd - scopeEnd - 1);
        const std::size_t newline = entry.find('\n');
        entries.push_back(
            {listing.substr(at, scopeEnd - at), entry.substr(0, newline),
             newline == std::string_view::npos ? std::nullopt : std::optional(entry.substr(newline + 1))});
        at = entryEnd + 1;
    }
    return entries;
}

bool isRepositoryScope(std::string_view scope) {
    return scope == "local" || scope == "worktree";
}

// The user's own: the files of the user and the system, and what is given to git on its command
// line or in GIT_CONFIG_COUNT.
bool isUserScope(std::string_view scope) {
    return scope == "global" || scope == "system" || scope == "command";
}

// The driver name of a "<section>.<driver>.<variable>" key (section and variable come lower-cased
// from git; the driver keeps its case), or an empty view for any other key.
std::string_view driverOf(std::string_view key, std::string_view section) {
    if (key.size() <= section.size() || !key.starts_with(section) || key[section.size()] != '.') {
        return {};
    }
    const std::size_t dot = key.rfind('.');
    if (dot <= section.size() + 1) {
        return {};
    }
    return key.substr(section.size() + 1, dot - section.size() - 1);
}

// The value that runs nothing of the repository's for `key`, or none when the key names no program.
std::optional<std::string_view> neutralValue(std::string_view key) {
    for (const auto& setting : programSettings) {
        if (key == setting.key) {
            return setting.value;
        }
    }
    for (const auto& driver : driverPrograms) {
        if (!driverOf(key, driver.section).empty() && key.substr(key.rfind('.') + 1) == driver.variable) {
            return driver.value;
        }
    }
    // An alias of the repository's could stand for a command of the user's, and run a shell line.
    if (key.starts_with(aliasPrefix) && key.size() > aliasPrefix.size()) {
        return std::string_view();
    }
    return std::nullopt;
}

// The count of GIT_CONFIG_COUNT entries this process hands its children, or none when it is not one.
std::optional<std::size_t> inheritedCount() {
    const char* text = std::getenv("GIT_CONFIG_COUNT");
    if (text == nullptr) {
        return 0;
    }
    const std::string_view digits(text);
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (digits.empty()) {
        return 0;
    }
    if (error != std::errc() || end != digits.data() + digits.size() || count > inheritedCountLimit) {
        return std::nullopt;
    }
    return count;
}

} // namespace

std::vector<std::string> GitProgramOverrides::listingArguments() {
    return {"config", "--list", "--show-scope", "--includes", "-z"};
}

GitProgramOverrides GitProgramOverrides::fromListing(std::string_view listing) {
    Values userValues;
    // Each filter driver the repository defines, with the variables it sets.
    std::map<std::string, std::set<std::string>, std::less<>> filterDrivers;
    std::set<std::string, std::less<>> repositoryKeys;
    for (const Entry& entry : entriesOf(listing)) {
        if (isRepositoryScope(entry.scope)) {
            if (const std::string_view driver = driverOf(entry.key, "filter"); !driver.empty()) {
                filterDrivers[std::string(driver)].emplace(
                    entry.key.substr(filterPrefix.size() + driver.size() + 1));
            } else {
                repositoryKeys.emplace(entry.key);
            }
        } else if (isUserScope(entry.scope) && entry.value) {
            userValues.insert_or_assign(std::string(entry.key), std::string(*entry.value));
        }
    }
    GitProgramOverrides overrides;
    for (const auto& [driver, variables] : filterDrivers) {
        overrides.overrideFilterDriver(driver, variables, userValues);
    }
    for (const auto& key : repositoryKeys) {
        if (const auto neutral = neutralValue(key)) {
            const auto user = userValues.find(key);
            overrides.settings_.emplace_back(key,
                                             user != userValues.end() ? user->second : std::string(*neutral));
        }
    }
    const auto userHooks = userValues.find(hooksKey);
    overrides.settings_.emplace_back(
        std::string(hooksKey), userHooks != userValues.end() ? userHooks->second : std::string(noHooks));
    return overrides;
}

void GitProgramOverrides::overrideFilterDriver(const std::string& driver,
                                               const std::set<std::string>& variables,
                                               const Values& userValues) {
    const std::string prefix = std::string(filterPrefix) + driver + ".";
    // Only what the repository set is overridden: an empty "process" would also hide the user's own
    // clean and smudge commands of that driver. Git treats an empty filter command as no filter.
    for (const auto& variable : variables) {
        const auto user = userValues.find(prefix + variable);
        std::string value = user != userValues.end() ? user->second : variable == "required" ? "false" : "";
        settings_.emplace_back(prefix + variable, std::move(value));
    }
    const bool userCommand =
        std::any_of(std::begin(filterCommands), std::end(filterCommands),
                    [&](const char* name) { return userValues.contains(prefix + name); });
    if (!userCommand && !variables.contains("required")) {
        // A required filter left without a command fails every command that would have used it.
        settings_.emplace_back(prefix + "required", "false");
    }
}

Expected<GitProgramOverrides, std::string> GitProgramOverrides::read(ProcessRunner& runner,
                                                                     const ProcessRequest& listing) {
    const auto inherited = inheritedCount();
    if (!inherited) {
        return makeUnexpected(std::string("GIT_CONFIG_COUNT in the environment is not a count"));
    }
    auto outcome = runner.run(listing);
    if (!outcome) {
        return makeUnexpected(outcome.error().description);
    }
    if (!outcome->succeeded()) {
        return makeUnexpected(std::string("the repository configuration could not be read"));
    }
    GitProgramOverrides overrides = fromListing(outcome->output);
    overrides.inheritedCount_ = *inherited;
    return overrides;
}

std::vector<std::pair<std::string, std::string>> GitProgramOverrides::environment() const {
    std::vector<std::pair<std::string, std::string>> variables;
    if (settings_.empty()) {
        return variables;
    }
    variables.emplace_back("GIT_CONFIG_COUNT", std::to_string(inheritedCount_ + settings_.size()));
    for (std::size_t index = 0; index < settings_.size(); ++index) {
        const std::string number = std::to_string(inheritedCount_ + index);
        variables.emplace_back("GIT_CONFIG_KEY_" + number, settings_[index].first);
        variables.emplace_back("GIT_CONFIG_VALUE_" + number, settings_[index].second);
    }
    return variables;
}

} // namespace korvane
