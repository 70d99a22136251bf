#include "platform/untrustedfoldergit.h"

#include "platform/gitconfigallowlist.h"
#include "platform/gitreachpaths.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::string_view hooksKey = "core.hookspath";
// A hooks folder that can hold no hook.
constexpr std::string_view noHooks = "/dev/null";
// Protocols whose remote address is a command or a descriptor of git's own process.
const std::vector<std::string_view> commandProtocols = {"ext", "fd"};

// The file an entry comes from, as a path a reader can find: git names the repository's own files
// relative to the top of the work tree it runs in.
std::string fileOf(const GitConfigEntry& entry, const GitReachedRepository* repository) {
    const std::filesystem::path file(GitConfigListing::originFile(entry));
    if (file.empty()) {
        return entry.origin.empty() ? std::string("the configuration") : entry.origin;
    }
    if (file.is_absolute() || repository == nullptr) {
        return file.string();
    }
    return (repository->workTree.value_or(repository->listedIn) / file).lexically_normal().string();
}

// Why the folder's own entries of `entries` keep the command from running; none when they do not.
std::optional<std::string> judge(const std::vector<GitConfigEntry>& entries,
                                 const GitReachedRepository* repository) {
    for (const auto& entry : entries) {
        if (GitConfigListing::isUsers(entry)) {
            continue;
        }
        const GitConfigRule* rule = GitConfigAllowList::ruleFor(entry.key);
        auto refused = GitConfigAllowList::refusal(rule, entry.value);
        if (!refused && rule && rule->verdict == GitConfigRule::Verdict::ownWorkTree &&
            (repository == nullptr || repository->ownWorkTree != true)) {
            refused = "names a work tree that is not the repository's own";
        }
        if (refused) {
            return fileOf(entry, repository) + " sets " + entry.key + ": " + *refused;
        }
    }
    return std::nullopt;
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
            const std::string& own = *entry.value;
            folder = own.starts_with('/') || own.starts_with("~/") ? own : std::string(noHooks);
        }
    }
    return folder;
}

} // namespace

Expected<UntrustedFolderGit, std::string> UntrustedFolderGit::read(ProcessRunner& runner,
                                                                   const ProcessRequest& base) {
    const auto inherited = GitConfigVariables::inheritedCount();
    if (!inherited) {
        return makeUnexpected(std::string("GIT_CONFIG_COUNT in the environment is not a count"));
    }
    const auto reach = GitReach::read(runner, base);
    if (!reach) {
        return makeUnexpected(reach.error());
    }
    // What git listed holds only where every program that reads those repositories reads the same files.
    if (auto elsewhere = GitReachPaths::whereElsewhere(*reach)) {
        return makeUnexpected(std::move(*elsewhere));
    }
    return decide(*reach, *inherited);
}

Expected<UntrustedFolderGit, std::string> UntrustedFolderGit::decide(const GitReach& reach,
                                                                     std::size_t inherited) {
    if (reach.repositories().empty()) {
        if (auto refused = judge(reach.folderEntries(), nullptr)) {
            return makeUnexpected(std::move(*refused));
        }
    }
    for (const auto& repository : reach.repositories()) {
        if (auto refused = judge(repository.entries, &repository)) {
            return makeUnexpected(std::move(*refused));
        }
    }
    UntrustedFolderGit git;
    git.inheritedCount_ = inherited;
    git.settings_.emplace_back(std::string(hooksKey), hooksFolder(reach));
    for (const auto protocol : commandProtocols) {
        git.settings_.emplace_back("protocol." + std::string(protocol) + ".allow", "never");
    }
    return git;
}

std::vector<UntrustedFolderGit::Setting> UntrustedFolderGit::environment() const {
    auto variables = GitConfigVariables::after(inheritedCount_, settings_);
    if (auto allowed = GitConfigVariables::allowedProtocols(commandProtocols)) {
        variables.emplace_back("GIT_ALLOW_PROTOCOL", std::move(*allowed));
    }
    return variables;
}

} // namespace korvane
