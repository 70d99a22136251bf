#pragma once

#include "base/expected.h"
#include "gitguard/gitconfigvalue.h"
#include "gitguard/gitconfigvariables.h"
#include "gitguard/gitlistedkeys.h"
#include "gitguard/gitreach.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// Whether the user's own command may run in a folder the user has not trusted, and with which settings
// of git. git itself lists what every repository the command can reach holds (GitReach); each entry the
// folder wrote there must be one that GitConfigAllowList allows, every file by which git finds those
// repositories must lead to one place for every program (GitReachPaths), and no remote may lead a push
// to a repository on this machine (through the user's own rewriting of addresses, a name no
// configuration gives an address, or a remotes folder git reads beside the configuration), and no git
// directory may hold a rebase or sequence that git continues, else the command waits for the user's
// trust. Where it runs, what no key of the folder's names is still
// switched off: the hooks that came with the download in its git directories (hooks come only from the
// user's own absolute hooks folder), the ext:: and fd:: addresses a `.gitmodules` can hold, and git's
// transport to a repository on this machine, whatever names it. Plain value; any thread.
class UntrustedFolderGit {
public:
    using Setting = GitConfigVariables::Setting;
    // The keys the git that runs reads by its own list, asked for where a decision first needs them;
    // none where that git gives no list.
    using ListedKeys = std::function<const GitListedKeys*()>;
    // What a key no rule names is judged by: whether the git that runs lists it, and whether its value
    // may name a program or file of the folders not trusted (the command's home folder for "~/").
    struct Unknown {
        ListedKeys listed;
        GitConfigValue::Folders folders;
        std::string_view home;
    };

    // Reads what git run as `base` reaches from its working directory and decides; the reason the
    // command does not run there, when it does not.
    static Expected<UntrustedFolderGit, std::string> read(ProcessRunner& runner, const ProcessRequest& base);
    // The decision `read` makes once git run as `base` has listed `reach`.
    static Expected<UntrustedFolderGit, std::string> decideRead(ProcessRunner& runner, const ProcessRequest& base,
                                                                const GitReach& reach);

    // The decision for what was read, with `unknown` what a key no rule names is judged by (it passes
    // only where the keys the git that runs reads are known and do not name it, and its value names no
    // program or file of the folders) and `inherited` GIT_CONFIG_COUNT entries already in the environment.
    static Expected<UntrustedFolderGit, std::string> decide(const GitReach& reach, const Unknown& unknown,
                                                            std::size_t inherited);
    // How many absolute paths the values of keys no rule names may name, each counted once, before the
    // command waits for trust; no ordinary folder's values name as many.
    static constexpr std::size_t followedPathLimit = 1024;
    // The paths that deciding follows on the file system ("~/" from `base`'s home): the absolute paths
    // that values of keys no rule names hold in `reach`, each once and no more than followedPathLimit,
    // and the text files that the repositories' keys name, as written and as resolved. A keeper of
    // decisions stamps them before it decides.
    static std::vector<std::string> followedPaths(const ProcessRequest& base, const GitReach& reach);

    const std::vector<Setting>& settings() const { return settings_; }
    // The settings as environment variables for the command, with the protocol variable where it is set.
    std::vector<Setting> environment() const;

private:
    std::vector<Setting> settings_;
    std::size_t inheritedCount_ = 0;
};

} // namespace korvane
