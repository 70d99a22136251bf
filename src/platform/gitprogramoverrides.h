#pragma once

#include "base/expected.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// The settings that keep git from running a program a repository names for itself. A repository that
// arrives with its own `.git` folder can name any program in its configuration, and git would run it
// on the next status, diff or commit: a filter driver's clean, smudge or process command, the
// file-system monitor, an ssh or askpass command, an external diff, a diff driver's command or
// textconv, a merge driver, a signing program, an alias. Reading the configuration runs none of them.
// Each such setting that the repository's own configuration (its config file, worktree config and
// whatever they include) defines gets the user's own value (global, system, or given to git on its
// command line or in its environment), else a value that runs nothing of the repository's; the hooks
// folder always gets the user's or none, since `.git/hooks` came with the repository too.
// Both Korvane's own git runs and the user's commands started in an untrusted folder use them, which
// is why they live this low. Plain value; any thread.
class GitProgramOverrides {
public:
    using Setting = std::pair<std::string, std::string>;

    // The git that reads the configuration, as every git run of Korvane's.
    static constexpr const char* gitExecutable = "/usr/bin/git";

    // The arguments that list every configuration entry with its scope, NUL-separated.
    static std::vector<std::string> listingArguments();

    // The overrides for the output of a run with `listingArguments`.
    static GitProgramOverrides fromListing(std::string_view listing);

    // Runs `listing` (a request for `listingArguments` in the folder, with the environment the later
    // commands get) and computes the overrides, numbered after the GIT_CONFIG_COUNT entries that this
    // process's environment already hands its children. Fails, with the reason, when the listing does
    // not succeed or that count is not one: then nothing of the repository's could be switched off.
    static Expected<GitProgramOverrides, std::string> read(ProcessRunner& runner,
                                                           const ProcessRequest& listing);

    const std::vector<Setting>& settings() const { return settings_; }
    bool empty() const { return settings_.empty(); }

    // The settings as git's GIT_CONFIG_COUNT / GIT_CONFIG_KEY_n / GIT_CONFIG_VALUE_n variables, after
    // the inherited entries, which stay in force. They carry a driver name holding "=" or spaces
    // intact where a "-c" argument would split it.
    std::vector<std::pair<std::string, std::string>> environment() const;

private:
    using Values = std::map<std::string, std::string, std::less<>>;

    void overrideFilterDriver(const std::string& driver, const std::set<std::string>& variables,
                              const Values& userValues);

    std::vector<Setting> settings_;
    std::size_t inheritedCount_ = 0;
};

} // namespace korvane
