#include "gitguard/gitprogramoverrides.h"

#include "gitguard/gitconfigvariables.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>

namespace korvane {
namespace {

using Treatment = GitProgramSetting::Treatment;

constexpr std::string_view filterPrefix = "filter.";
constexpr const char* filterCommands[] = {"clean", "smudge", "process"};
constexpr std::string_view hooksKey = "core.hookspath";
// A hooks folder that can hold no hook.
constexpr std::string_view noHooks = "/dev/null";
// Names git itself gives a program, with that program, the neutral value for them: the signing
// formats and the compressed archive formats.
struct OwnProgram {
    std::string_view pattern;
    std::string_view name;
    std::string_view program;
};
constexpr OwnProgram ownPrograms[] = {
    {"gpg.<format>.program", "openpgp", "gpg"},
    {"gpg.<format>.program", "x509", "gpgsm"},
    {"gpg.<format>.program", "ssh", "ssh-keygen"},
    {"tar.<format>.command", "tgz", "git archive gzip"},
    {"tar.<format>.command", "tar.gz", "git archive gzip"},
};
// Protocols whose remote address is a command or a descriptor of git's own process.
constexpr std::string_view commandProtocols[] = {"ext", "fd"};
// Transports that start a remote's upload-pack or receive-pack program: file here, ssh on the host.
constexpr std::string_view packTransports[] = {"file", "ssh"};

bool hasPlaceholder(std::string_view pattern) {
    return pattern.find('<') != std::string_view::npos || pattern.ends_with(".*");
}

// A hooks folder of the user's is kept only where it cannot lie inside the folder the command runs
// in; git reads a relative one from the command's working folder.
bool isAbsoluteFolder(std::string_view path) {
    return path.starts_with('/') || path.starts_with("~/");
}

// A program the user chose in the environment that git reads only after the setting `key`, so that
// a neutral value of the setting would hide it: GIT_SSH (a program, where the setting is a shell
// line) unless GIT_SSH_COMMAND, which git reads first, is set; SSH_ASKPASS unless GIT_ASKPASS is.
std::optional<std::string> environmentProgram(std::string_view key) {
    const auto chosen = [](const char* name, const char* overriding) -> const char* {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0' && std::getenv(overriding) == nullptr ? value : nullptr;
    };
    if (key == "core.sshcommand") {
        if (const char* program = chosen("GIT_SSH", "GIT_SSH_COMMAND")) {
            std::string quoted = "'";
            for (const char c : std::string_view(program)) {
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            }
            return quoted + "'";
        }
    } else if (key == "core.askpass") {
        if (const char* program = chosen("SSH_ASKPASS", "GIT_ASKPASS")) {
            return std::string(program);
        }
    }
    return std::nullopt;
}

// Whether the folder sets a remote's upload-pack or receive-pack program that the user does not.
bool namesPackProgram(const std::vector<GitConfigEntry>& folder,
                      const std::map<std::string, std::string, std::less<>>& user) {
    return std::any_of(folder.begin(), folder.end(), [&](const GitConfigEntry& entry) {
        for (const auto pattern : {"remote.<name>.uploadpack", "remote.<name>.receivepack"}) {
            const auto name = GitProgramSettings::nameIn(pattern, entry.key);
            if (name && !name->empty() && !user.contains(entry.key)) {
                return true;
            }
        }
        return false;
    });
}

} // namespace

std::vector<std::string> GitProgramOverrides::listingArguments() {
    return GitConfigListing::arguments();
}

GitProgramOverrides GitProgramOverrides::fromListing(std::string_view listing) {
    return compute(GitConfigListing::parse(listing, true));
}

GitProgramOverrides GitProgramOverrides::compute(const std::vector<GitConfigEntry>& listed) {
    Values user;
    std::vector<GitConfigEntry> folder;
    for (const auto& entry : listed) {
        if (!GitConfigListing::isUsers(entry)) {
            folder.push_back(entry);
        } else if (entry.value) {
            user.insert_or_assign(std::string(entry.key), std::string(*entry.value));
        }
    }
    const auto value = [&](std::string_view key, std::string_view neutral) {
        const auto own = user.find(key);
        if (own != user.end()) {
            return own->second;
        }
        return environmentProgram(key).value_or(std::string(neutral));
    };
    GitProgramOverrides overrides;
    for (const auto& setting : GitProgramSettings::all()) {
        const bool named = hasPlaceholder(setting.key);
        if (setting.treatment == Treatment::neutral && !named) {
            const std::string key = GitProgramSettings::withName(setting.key, {});
            // A sequence editor of git's own falls back on the core editor.
            const std::string neutral =
                key == "sequence.editor" ? value("core.editor", setting.value) : std::string(setting.value);
            overrides.settings_.emplace_back(key, value(key, neutral));
        } else if (setting.treatment == Treatment::neutral ||
                   (setting.treatment == Treatment::neutralWhereSet && named)) {
            overrides.addNamed(setting, folder, user);
        } else if (setting.treatment == Treatment::neutralWhereSet) {
            const std::string key = GitProgramSettings::withName(setting.key, {});
            if (std::any_of(folder.begin(), folder.end(),
                            [&](const auto& entry) { return entry.key == key; })) {
                overrides.settings_.emplace_back(key, value(key, setting.value));
            }
        }
    }
    overrides.addFilters(folder, user);
    overrides.addHelpers(listed);
    overrides.addUpdateCommands(folder, user);
    const auto hooks = user.find(hooksKey);
    overrides.settings_.emplace_back(
        std::string(hooksKey),
        hooks != user.end() && isAbsoluteFolder(hooks->second) ? hooks->second : std::string(noHooks));
    std::vector<std::string_view> refused(std::begin(commandProtocols), std::end(commandProtocols));
    if (namesPackProgram(folder, user)) {
        refused.insert(refused.end(), std::begin(packTransports), std::end(packTransports));
    }
    for (const auto protocol : refused) {
        overrides.settings_.emplace_back("protocol." + std::string(protocol) + ".allow", "never");
    }
    overrides.addEnvironment(folder, refused);
    return overrides;
}

void GitProgramOverrides::addNamed(const GitProgramSetting& setting,
                                   const std::vector<GitConfigEntry>& folder, const Values& user) {
    std::set<std::string, std::less<>> names;
    for (const auto& entry : folder) {
        if (const auto name = GitProgramSettings::nameIn(setting.key, entry.key); name && !name->empty()) {
            names.emplace(*name);
        }
    }
    for (const auto& own : ownPrograms) {
        if (own.pattern == setting.key) {
            names.emplace(own.name);
        }
    }
    for (const auto& name : names) {
        std::string_view neutral = setting.value;
        for (const auto& own : ownPrograms) {
            neutral = own.pattern == setting.key && own.name == name ? own.program : neutral;
        }
        const std::string key = GitProgramSettings::withName(setting.key, name);
        const auto own = user.find(key);
        settings_.emplace_back(key, own != user.end() ? own->second : std::string(neutral));
    }
}

void GitProgramOverrides::addFilters(const std::vector<GitConfigEntry>& folder, const Values& user) {
    // Each filter driver the folder defines, with the variables it sets.
    std::map<std::string, std::set<std::string>, std::less<>> defined;
    for (const auto& entry : folder) {
        const std::string_view key = entry.key;
        const std::size_t dot = key.rfind('.');
        if (key.starts_with(filterPrefix) && dot > filterPrefix.size()) {
            defined[std::string(key.substr(filterPrefix.size(), dot - filterPrefix.size()))].emplace(
                key.substr(dot + 1));
        }
    }
    for (const auto& [driver, variables] : defined) {
        addFilterDriver(driver, variables, user);
    }
}

void GitProgramOverrides::addFilterDriver(const std::string& driver, const std::set<std::string>& variables,
                                          const Values& user) {
    const std::string prefix = std::string(filterPrefix) + driver + ".";
    // Only what the folder set is overridden: an empty "process" would also hide the user's own
    // clean and smudge commands of that driver. Git treats an empty filter command as no filter.
    for (const auto& variable : variables) {
        const auto own = user.find(prefix + variable);
        std::string value = own != user.end() ? own->second : variable == "required" ? "false" : "";
        settings_.emplace_back(prefix + variable, std::move(value));
    }
    const bool userCommand = std::any_of(std::begin(filterCommands), std::end(filterCommands),
                                         [&](const char* name) { return user.contains(prefix + name); });
    if (!userCommand && !variables.contains("required")) {
        // A required filter left without a command fails every command that would have used it.
        settings_.emplace_back(prefix + "required", "false");
    }
}

// An empty helper empties the list gathered so far, the folder's helpers with it; the user's own
// helpers, for any address, are then given again in their order.
void GitProgramOverrides::addHelpers(const std::vector<GitConfigEntry>& listed) {
    settings_.emplace_back("credential.helper", "");
    for (const auto& entry : listed) {
        if (!GitConfigListing::isUsers(entry) || !entry.value) {
            continue;
        }
        const auto url = GitProgramSettings::nameIn("credential.<url>.helper", entry.key);
        if (entry.key == "credential.helper" || (url && !url->empty())) {
            settings_.emplace_back(entry.key, *entry.value);
        }
    }
}

void GitProgramOverrides::addUpdateCommands(const std::vector<GitConfigEntry>& folder, const Values& user) {
    std::set<std::string, std::less<>> keys;
    for (const auto& entry : folder) {
        const auto name = GitProgramSettings::nameIn("submodule.<name>.update", entry.key);
        if (name && !name->empty() && entry.value && entry.value->starts_with('!')) {
            keys.emplace(entry.key);
        }
    }
    for (const auto& key : keys) {
        const auto own = user.find(key);
        settings_.emplace_back(key, own != user.end() ? own->second : "checkout");
    }
}

void GitProgramOverrides::addEnvironment(const std::vector<GitConfigEntry>& folder,
                                         const std::vector<std::string_view>& refused) {
    // Set, it makes git ignore every protocol setting: the refused ones are then left out of it.
    if (auto allowed = GitConfigVariables::allowedProtocols(refused)) {
        variables_.emplace_back("GIT_ALLOW_PROTOCOL", std::move(*allowed));
    }
    const bool folderProxy = std::any_of(folder.begin(), folder.end(),
                                         [](const auto& entry) { return entry.key == "core.gitproxy"; });
    if (folderProxy && std::getenv("GIT_PROXY_COMMAND") == nullptr) {
        variables_.emplace_back("GIT_PROXY_COMMAND", "");
    }
}

Expected<GitProgramOverrides, std::string> GitProgramOverrides::read(ProcessRunner& runner,
                                                                     const ProcessRequest& listing,
                                                                     const ListedEntries& onListed) {
    const auto inherited = GitConfigVariables::inheritedCount();
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
    auto entries = GitConfigListing::parse(outcome->output, true);
    GitProgramOverrides overrides = compute(entries);
    overrides.inheritedCount_ = *inherited;
    if (onListed) {
        onListed(entries);
    }
    return overrides;
}

std::vector<std::pair<std::string, std::string>> GitProgramOverrides::environment() const {
    auto variables = GitConfigVariables::after(inheritedCount_, settings_);
    variables.insert(variables.end(), variables_.begin(), variables_.end());
    return variables;
}

} // namespace korvane
