#pragma once

#include "base/expected.h"
#include "gitguard/gitconfiglisting.h"
#include "gitguard/gitprogramsettings.h"
#include "platform/processrunner.h"

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// The settings that keep Korvane's own git runs from running a program that a repository names for
// itself. A repository that arrives with its own `.git` folder can name any program in its configuration
// (a filter driver's command, the file-system monitor, an editor, a credential helper, ...:
// GitProgramSettings lists them all), and git would run it on the next status. Reading the configuration
// runs none of them. Each setting that needs no name gets the user's own value (global, system, or given
// to git on its command line or in its environment), else one that runs nothing; each setting with a name
// in it gets the same for every name the repository's configuration uses, as git itself lists it (includes
// followed by git); hooks come only from the user's own absolute hooks folder; ext and fd remotes are
// refused. Korvane's own runs never reach into submodules. Plain value; any thread.
class GitProgramOverrides {
public:
    using Setting = std::pair<std::string, std::string>;

    // The git that Korvane's own git runs start.
    static constexpr const char* gitExecutable = "/usr/bin/git";

    // The arguments that list every configuration entry with its scope and origin, NUL-separated.
    static std::vector<std::string> listingArguments();

    // The overrides for the output of a run with `listingArguments`.
    static GitProgramOverrides fromListing(std::string_view listing);

    // The overrides for the entries of a listing: the user's own give their values, the rest are the
    // repository's.
    static GitProgramOverrides compute(const std::vector<GitConfigEntry>& listed);

    // Runs `listing` (a request for `listingArguments` in the folder) and computes the overrides, numbered
    // after the GIT_CONFIG_COUNT entries that this process's environment already hands its children. Fails,
    // with the reason, when the listing fails or that count is not one. `onListed`, where it is given, is
    // shown the entries git listed while the text they view is still held.
    using ListedEntries = std::function<void(const std::vector<GitConfigEntry>&)>;
    static Expected<GitProgramOverrides, std::string> read(ProcessRunner& runner, const ProcessRequest& listing,
                                                           const ListedEntries& onListed = {});

    const std::vector<Setting>& settings() const { return settings_; }
    bool empty() const { return settings_.empty(); }

    // The settings as git's GIT_CONFIG_COUNT / GIT_CONFIG_KEY_n / GIT_CONFIG_VALUE_n variables, after
    // the inherited entries, which stay in force, followed by the protocol and proxy variables.
    std::vector<std::pair<std::string, std::string>> environment() const;

private:
    using Values = std::map<std::string, std::string, std::less<>>;

    void addNamed(const GitProgramSetting& setting, const std::vector<GitConfigEntry>& folder,
                  const Values& user);
    void addFilters(const std::vector<GitConfigEntry>& folder, const Values& user);
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
