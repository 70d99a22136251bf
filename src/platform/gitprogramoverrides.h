#pragma once

#include "base/expected.h"
#include "platform/gitprogramsettings.h"
#include "platform/gitreachableconfig.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// The settings that keep git from running a program that a folder names for itself. A repository
// that arrives with its own `.git` folder can name any program in its configuration (a filter or
// diff driver's command, the file-system monitor, an editor, a credential helper, a remote's
// upload-pack, an alias, ...: GitProgramSettings lists them all), and git would run it on the next
// status, diff, fetch or commit, in the repository or in any submodule it reaches. Reading the
// configuration runs none of them. Each setting that needs no name gets the user's own value
// (global, system, or given to git on its command line or in its environment), else one that runs
// nothing; each setting with a name in it gets the same for every name that the configuration the
// command can reach uses (GitReachableConfig); hooks come only from the user's own absolute hooks
// folder, since `.git/hooks` came with the download too; ext and fd remotes are refused. git hands
// the settings on to the git of each submodule. Both Korvane's own git runs and the user's commands
// started in an untrusted folder use them, which is why they live this low. Plain value; any thread.
class GitProgramOverrides {
public:
    using Setting = std::pair<std::string, std::string>;
    using Reach = GitReachableConfig::Reach;

    // The git that Korvane's own git runs start.
    static constexpr const char* gitExecutable = "/usr/bin/git";

    // The arguments that list every configuration entry with its scope and origin, NUL-separated.
    static std::vector<std::string> listingArguments();

    // The overrides for the output of a run with `listingArguments` alone (the repository's files
    // as git listed them, nothing else reached).
    static GitProgramOverrides fromListing(std::string_view listing);

    // The overrides for the user's own entries of `listed` (the other scopes are the folder's) and
    // what the folder reaches.
    static GitProgramOverrides compute(const std::vector<GitConfigEntry>& listed,
                                       const GitReachableConfig& reached);

    // Runs `listing` (a request for `listingArguments` in the folder, with the git, environment and
    // time limit of the later commands), reads what the folder reaches within what is left of that
    // time limit, and computes the overrides, numbered after the GIT_CONFIG_COUNT entries that this
    // process's environment already hands its children. For `Reach::repository` a listing that fails fails
    // the whole; for `Reach::submodules` it leaves the user's own values unknown (git, refusing a broken file
    // of the user's, would start nothing) and only a file of the folder's that cannot be read fails. Fails,
    // with the reason, also when that count is not one.
    static Expected<GitProgramOverrides, std::string> read(ProcessRunner& runner,
                                                           const ProcessRequest& listing, Reach reach);

    const std::vector<Setting>& settings() const { return settings_; }
    bool empty() const { return settings_.empty(); }

    // The settings as git's GIT_CONFIG_COUNT / GIT_CONFIG_KEY_n / GIT_CONFIG_VALUE_n variables, after
    // the inherited entries, which stay in force, followed by the protocol and proxy variables. They
    // carry a driver name holding "=" or spaces intact where a "-c" argument would split it.
    std::vector<std::pair<std::string, std::string>> environment() const;

private:
    using Values = std::map<std::string, std::string, std::less<>>;

    void addNamed(const GitProgramSetting& setting, const std::vector<GitConfigEntry>& folder,
                  const std::set<std::string, std::less<>>& drivers, const Values& user);
    void addFilters(const std::vector<GitConfigEntry>& folder,
                    const std::set<std::string, std::less<>>& drivers, const Values& user);
    void addFilterDriver(const std::string& driver, const std::set<std::string>& variables,
                         const Values& user);
    void addHelpers(const std::vector<GitConfigEntry>& listed);
    void addUpdateCommands(const std::vector<GitConfigEntry>& folder, const Values& user);
    void addEnvironment(const std::vector<GitConfigEntry>& folder,
                        const std::vector<std::string_view>& refused);

    std::vector<Setting> settings_;
    std::vector<std::pair<std::string, std::string>> variables_;
    std::size_t inheritedCount_ = 0;
};

} // namespace korvane
