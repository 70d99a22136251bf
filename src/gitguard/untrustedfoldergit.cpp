#include "gitguard/untrustedfoldergit.h"

#include "gitguard/gitconfigallowlist.h"
#include "gitguard/gitconfigkey.h"
#include "gitguard/gitconfigvalue.h"
#include "gitguard/gitlistedkeys.h"
#include "gitguard/gitnetworkaddress.h"
#include "gitguard/gitreachpaths.h"
#include "gitguard/gitrepositorytexts.h"
#include "gitguard/gitvaluepaths.h"
#include "gitguard/pathinfolder.h"
#include "gitguard/perprocesspath.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

namespace korvane {
namespace {

constexpr std::string_view hooksKey = "core.hookspath";
// A hooks folder that can hold no hook.
constexpr std::string_view noHooks = "/dev/null";
// Protocols the command's git may not use: those whose remote address is a command or a descriptor of
// git's own process, and the local one, for which git starts git in the other repository without the
// settings it was given (its hooks would run), whoever names the path.
const std::vector<std::string_view> refusedProtocols = {"ext", "fd", "file"};

// The file an entry comes from, as a path a reader can find: git names the repository's own files
// relative to the top of the work tree it runs in.
std::string fileOf(const GitConfigEntry& entry, const GitReachedRepository* repository) {
    const std::filesystem::path file(GitConfigListing::originFile(entry));
    if (file.empty()) {
        return entry.origin.empty() ? std::string("the configuration")
                                    : GitRepositoryTexts::shown(entry.origin);
    }
    if (file.is_absolute() || repository == nullptr) {
        return file.string();
    }
    return (repository->workTree.value_or(repository->listedIn) / file).lexically_normal().string();
}

// Whether the entry names the `hooks` folder beside the file that sets it, as the kernel resolves both: the
// git directory's own, whichever way the shell that wrote it named the folder.
bool namesOwnHooks(const GitConfigEntry& entry, const GitReachedRepository* repository) {
    const std::filesystem::path file(fileOf(entry, repository));
    if (!entry.value || !entry.value->starts_with('/') || !file.is_absolute()) {
        return false;
    }
    return PathInFolder::resolved(std::string(*entry.value)) ==
           PathInFolder::resolved(file.parent_path() / "hooks");
}

// Whether `entries` give the remote `name` an address, in any scope.
bool givesAddress(const std::vector<GitConfigEntry>& entries, std::string_view name) {
    return std::any_of(entries.begin(), entries.end(), [&](const GitConfigEntry& entry) {
        const auto key = GitConfigKey::parse(entry.key);
        return key && key->section == "remote" && key->subsection == name && key->variable == "url";
    });
}

// Why the user's own rewriting of addresses (url.<base>.insteadOf and pushInsteadOf, which put <base> in
// place of the front they name) makes `address` one on this machine. Every rewrite whose front matches
// is tried, the one git picks among them too.
std::optional<std::string> rewrittenToThisMachine(std::string_view address,
                                                  const std::vector<GitConfigEntry>& entries) {
    for (const auto& entry : entries) {
        const auto key = GitConfigKey::parse(entry.key);
        if (!GitConfigListing::isUsers(entry) || !entry.value || !key || key->section != "url" ||
            !key->subsection || (key->variable != "insteadof" && key->variable != "pushinsteadof") ||
            !address.starts_with(*entry.value)) {
            continue;
        }
        const std::string rewritten =
            std::string(*key->subsection) + std::string(address.substr(entry.value->size()));
        if (!GitNetworkAddress::overTheNetwork(rewritten)) {
            return "the user's " + GitRepositoryTexts::shown(entry.key) +
                   " makes it an address on this machine";
        }
    }
    return std::nullopt;
}

// Why an address, or the name of a remote, that `rule` allows by its text still leads a push to a
// repository on this machine: a name that no configuration gives an address is read as an address.
std::optional<std::string> leadsHere(const GitConfigRule& rule, const GitConfigEntry& entry,
                                     const std::vector<GitConfigEntry>& entries) {
    using Verdict = GitConfigRule::Verdict;
    if ((rule.verdict != Verdict::networkAddress && rule.verdict != Verdict::remoteName) || !entry.value) {
        return std::nullopt;
    }
    const std::string_view value = *entry.value;
    if (rule.verdict == Verdict::remoteName && GitNetworkAddress::mayNameRemote(value)) {
        if (givesAddress(entries, value)) {
            return std::nullopt;
        }
        if (!GitNetworkAddress::overTheNetwork(value)) {
            return std::string("names no remote with an address, and git reads it as a path on this machine");
        }
    }
    return rewrittenToThisMachine(value, entries);
}

// The file that a text file key of `repository` names, as git reads it: from the top of its work tree,
// "~/" from `home`; none where git would read it from elsewhere ("~user/", "%(prefix)/") or there is no
// work tree.
std::optional<std::filesystem::path>
textFileOf(std::string_view value, const GitReachedRepository* repository, std::string_view home) {
    if (repository == nullptr || !repository->workTree || value.empty()) {
        return std::nullopt;
    }
    if (value.starts_with("~/") && home.starts_with('/')) {
        return std::filesystem::path(std::string(home) + std::string(value.substr(1)));
    }
    if (value.starts_with('~') || value.starts_with("%(")) {
        return std::nullopt;
    }
    return *repository->workTree / value;
}

// Whether the text file `entry` names lies in the repository's work tree, as the kernel resolves both,
// and is a regular file or not there yet: git then reads text of the folder's own, as it reads its
// `.gitignore`, and no device, pipe or file elsewhere.
bool namesWorkTreeFile(const GitConfigEntry& entry, const GitReachedRepository* repository,
                       std::string_view home) {
    const auto file = entry.value ? textFileOf(*entry.value, repository, home) : std::nullopt;
    // Through /proc/self or /dev/fd the command's git reads a file of its own, not the one found here.
    if (!file || PerProcessPath().whyNotOnePlace(*file, "/")) {
        return false;
    }
    const auto top = PathInFolder::real(*repository->workTree);
    const std::filesystem::path resolved = PathInFolder::resolved(*file);
    std::error_code error;
    const auto type = std::filesystem::status(resolved, error).type();
    return top && PathInFolder::inside(resolved.native(), top->native()) &&
           (type == std::filesystem::file_type::regular || type == std::filesystem::file_type::not_found);
}

// Why the value of a key no rule knows may name a program or file of the folders, each of its absolute
// paths judged where `paths` meets it first.
std::optional<std::string> whyValueMayNameFolder(std::string_view value, GitValuePaths& paths,
                                                 const UntrustedFolderGit::Unknown& unknown) {
    bool pastLimit = false;
    auto named =
        GitConfigValue::whyMayNameFolder(value, [&](std::string_view written) -> std::optional<std::string> {
            switch (paths.meet(written)) {
            case GitValuePaths::Met::before:
                return std::nullopt;
            case GitValuePaths::Met::pastLimit:
                pastLimit = true;
                return std::string();
            case GitValuePaths::Met::first:
                break;
            }
            return GitConfigValue::whyPathMayLeadInto(written, unknown.folders, unknown.home);
        });
    if (pastLimit) {
        return "a key no rule knows, whose value with those before it names more than " +
               std::to_string(UntrustedFolderGit::followedPathLimit) +
               " paths, more than Korvane follows for a folder not trusted";
    }
    if (named) {
        return "a key no rule knows, whose value holds " + *named;
    }
    return std::nullopt;
}

// Whether the value of the folder's own `entry`, whose key `rule` names, is judged as that of a key no rule
// knows (GitConfigValue).
bool valueIsJudged(const GitConfigEntry& entry, const GitConfigRule* rule) {
    return rule == nullptr && entry.value && !GitConfigListing::isUsers(entry);
}

// Why the folder's own entries of `entries` keep the command from running; none when they do not.
std::optional<std::string> judge(const std::vector<GitConfigEntry>& entries,
                                 const GitReachedRepository* repository,
                                 const UntrustedFolderGit::Unknown& unknown, GitValuePaths& paths) {
    for (const auto& entry : entries) {
        if (GitConfigListing::isUsers(entry)) {
            continue;
        }
        const GitConfigRule* rule = GitConfigAllowList::ruleFor(entry.key);
        // Only a key that no rule names needs git's list, which most folders never ask for.
        auto refused = GitConfigAllowList::refusal(rule, entry.key, entry.value,
                                                   rule || !unknown.listed ? nullptr : unknown.listed());
        if (!refused && valueIsJudged(entry, rule)) {
            refused = whyValueMayNameFolder(*entry.value, paths, unknown);
        }
        if (!refused && rule && rule->verdict == GitConfigRule::Verdict::ownWorkTree &&
            (repository == nullptr || repository->ownWorkTree != true)) {
            refused = "names a work tree that is not the repository's own";
        }
        if (!refused && rule && rule->verdict == GitConfigRule::Verdict::ownHooks &&
            !namesOwnHooks(entry, repository)) {
            refused = std::string(rule->detail) + ", harmless only as the hooks folder of the git directory";
        }
        if (!refused && rule && rule->verdict == GitConfigRule::Verdict::workTreeFile &&
            !namesWorkTreeFile(entry, repository, unknown.home)) {
            refused = std::string(rule->detail) +
                      ", harmless only as a file of the repository's work tree or one not there yet";
        }
        if (!refused && rule) {
            refused = leadsHere(*rule, entry, entries);
        }
        if (refused) {
            return fileOf(entry, repository) + " sets " + GitRepositoryTexts::shown(entry.key) + ": " +
                   *refused;
        }
    }
    return std::nullopt;
}

// Why the folders where git finds the remotes that no configuration lists keep the command from running:
// a command that names such a remote pushes to the address written there.
std::optional<std::string> remotesOutsideTheConfiguration(const GitReachedRepository& repository) {
    for (const auto& folder : repository.remoteFolders) {
        std::error_code error;
        const auto type = std::filesystem::symlink_status(folder, error).type();
        if (type == std::filesystem::file_type::not_found) {
            continue;
        }
        if (type == std::filesystem::file_type::directory &&
            std::filesystem::directory_iterator(folder, error) == std::filesystem::directory_iterator() &&
            !error) {
            continue;
        }
        return folder.string() + " holds remotes that the configuration does not list";
    }
    return std::nullopt;
}

// Why an operation in progress in a git directory keeps the command from running: git continues a rebase,
// or a cherry-pick or revert sequence, as the files there say, with the commands and merge strategies
// they name.
std::optional<std::string> operationInProgress(const GitReachedRepository& repository) {
    for (const auto& folder : repository.operationFolders) {
        std::error_code error;
        if (std::filesystem::symlink_status(folder, error).type() != std::filesystem::file_type::not_found) {
            return folder.string() +
                   " holds a rebase, cherry-pick or revert in progress, which git continues " +
                   "as written there";
        }
    }
    return std::nullopt;
}

// The folder the command runs in and the work tree and git directory of every repository it reaches,
// each as the kernel resolves it: where a value of the folder's may name a program or file of its own.
std::vector<std::filesystem::path> foldersNotTrusted(const ProcessRequest& base, const GitReach& reach) {
    std::vector<std::filesystem::path> places;
    const auto add = [&](const std::filesystem::path& place) {
        auto real = PathInFolder::real(place).value_or(PathInFolder::resolved(place));
        if (std::find(places.begin(), places.end(), real) == places.end()) {
            places.push_back(std::move(real));
        }
    };
    add(base.workingDirectory.value_or("."));
    for (const auto& repository : reach.repositories()) {
        add(repository.gitDir);
        if (repository.workTree) {
            add(*repository.workTree);
        }
    }
    return places;
}

// The home folder of the command: its environment's, else Korvane's.
std::string homeOf(const ProcessRequest& base) {
    for (auto it = base.environment.rbegin(); it != base.environment.rend(); ++it) {
        if (it->first == "HOME") {
            return it->second;
        }
    }
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

// The user's own hooks folder where it cannot lie in the folder the command runs in (git reads a
// relative one from there), else none.
std::string hooksFolder(const GitReach& reach) {
    std::string folder(noHooks);
    if (reach.usersFilesUnreadable()) {
        return folder;
    }
    for (const auto& entry : reach.folderEntries()) {
        if (entry.key == hooksKey && GitConfigListing::isUsers(entry) && entry.value) {
            const std::string_view own = *entry.value;
            folder = own.starts_with('/') || own.starts_with("~/") ? own : noHooks;
        }
    }
    return folder;
}

} // namespace

Expected<UntrustedFolderGit, std::string> UntrustedFolderGit::read(ProcessRunner& runner,
                                                                   const ProcessRequest& base) {
    const auto reach = GitReach::read(runner, base);
    if (!reach) {
        return makeUnexpected(reach.error());
    }
    return decideRead(runner, base, *reach);
}

Expected<UntrustedFolderGit, std::string> UntrustedFolderGit::decideRead(ProcessRunner& runner,
                                                                         const ProcessRequest& base,
                                                                         const GitReach& reach) {
    const auto inherited = GitConfigVariables::inheritedCount();
    if (!inherited) {
        return makeUnexpected(std::string("GIT_CONFIG_COUNT in the environment is not a count"));
    }
    // What git listed holds only where every program that reads those repositories reads the same files.
    if (auto elsewhere = GitReachPaths::whereElsewhere(reach)) {
        return makeUnexpected(std::move(*elsewhere));
    }
    std::optional<Expected<GitListedKeys, std::string>> asked;
    const auto listed = [&]() -> const GitListedKeys* {
        if (!asked) {
            asked = GitListedKeys::read(runner, base);
        }
        return *asked ? &**asked : nullptr;
    };
    std::optional<std::vector<std::filesystem::path>> folders;
    const auto notTrusted = [&]() -> const std::vector<std::filesystem::path>& {
        if (!folders) {
            folders = foldersNotTrusted(base, reach);
        }
        return *folders;
    };
    const std::string home = homeOf(base);
    return decide(reach, Unknown{listed, notTrusted, home}, *inherited);
}

Expected<UntrustedFolderGit, std::string>
UntrustedFolderGit::decide(const GitReach& reach, const Unknown& unknown, std::size_t inherited) {
    GitValuePaths paths(followedPathLimit);
    if (reach.repositories().empty()) {
        if (auto refused = judge(reach.folderEntries(), nullptr, unknown, paths)) {
            return makeUnexpected(std::move(*refused));
        }
    }
    for (const auto& repository : reach.repositories()) {
        if (auto refused = judge(repository.entries, &repository, unknown, paths)) {
            return makeUnexpected(std::move(*refused));
        }
        if (auto refused = remotesOutsideTheConfiguration(repository)) {
            return makeUnexpected(std::move(*refused));
        }
        if (auto refused = operationInProgress(repository)) {
            return makeUnexpected(std::move(*refused));
        }
    }
    UntrustedFolderGit git;
    git.inheritedCount_ = inherited;
    git.settings_.emplace_back(std::string(hooksKey), hooksFolder(reach));
    for (const auto protocol : refusedProtocols) {
        git.settings_.emplace_back("protocol." + std::string(protocol) + ".allow", "never");
    }
    return git;
}

std::vector<std::string> UntrustedFolderGit::followedPaths(const ProcessRequest& base,
                                                           const GitReach& reach) {
    const std::string home = homeOf(base);
    GitValuePaths met(followedPathLimit);
    bool pastLimit = false;
    std::vector<std::string> paths;
    // The entries `decide` judges, in its order, so that the paths it follows before it stops at the
    // limit are those stamped.
    const auto add = [&](const std::vector<GitConfigEntry>& entries, const GitReachedRepository* repository) {
        for (const auto& entry : entries) {
            if (!entry.value || GitConfigListing::isUsers(entry)) {
                continue;
            }
            // Most values name no path, and the text file keys all end so: the rule is looked up only for
            // those.
            std::optional<const GitConfigRule*> rule;
            const auto ruleOf = [&] {
                return rule ? *rule : *(rule = GitConfigAllowList::ruleFor(entry.key));
            };
            GitConfigValue::eachPath(*entry.value, [&](std::string_view written) {
                if (pastLimit || !valueIsJudged(entry, ruleOf())) {
                    return false;
                }
                const auto meeting = met.meet(written);
                pastLimit = meeting == GitValuePaths::Met::pastLimit;
                if (meeting == GitValuePaths::Met::first) {
                    if (auto path = GitConfigValue::followed(written, home)) {
                        paths.push_back(std::move(*path));
                    }
                }
                return !pastLimit;
            });
            if ((entry.key.ends_with("file") || entry.key.ends_with("template")) && ruleOf() &&
                ruleOf()->verdict == GitConfigRule::Verdict::workTreeFile) {
                if (const auto file = textFileOf(*entry.value, repository, home)) {
                    paths.push_back(file->string());
                    paths.push_back(PathInFolder::resolved(*file).string());
                }
            }
        }
    };
    if (reach.repositories().empty()) {
        add(reach.folderEntries(), nullptr);
    }
    for (const auto& repository : reach.repositories()) {
        add(repository.entries, &repository);
    }
    return paths;
}

std::vector<UntrustedFolderGit::Setting> UntrustedFolderGit::environment() const {
    auto variables = GitConfigVariables::after(inheritedCount_, settings_);
    if (auto allowed = GitConfigVariables::allowedProtocols(refusedProtocols)) {
        variables.emplace_back("GIT_ALLOW_PROTOCOL", std::move(*allowed));
    }
    return variables;
}

} // namespace korvane
