#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// The settings that switch off the content filters a repository defines for itself. A repository that
// arrives with its own `.git` folder can name any program as the clean, smudge or process filter of a
// driver and map its files to it; git would run that program on the next status. Git treats an empty
// filter command as no filter, so each driver the repository's own configuration (its config file and
// whatever that includes) defines gets its commands set to the user's own global or system value, or to
// nothing. Plain value; any thread.
class GitFilterOverrides {
public:
    using Setting = std::pair<std::string, std::string>;

    // The arguments that list every configuration entry with its scope, NUL-separated. Reading the
    // configuration runs no program of the repository's.
    static std::vector<std::string> listingArguments();

    // The overrides for the output of a run with `listingArguments`.
    static GitFilterOverrides fromListing(std::string_view listing);

    const std::vector<Setting>& settings() const { return settings_; }
    bool empty() const { return settings_.empty(); }

    // The settings as git's GIT_CONFIG_COUNT / GIT_CONFIG_KEY_n / GIT_CONFIG_VALUE_n variables, which
    // carry a driver name holding "=" or spaces intact where a "-c" argument would split it.
    std::vector<std::pair<std::string, std::string>> environment() const;

private:
    std::vector<Setting> settings_;
};

} // namespace korvane
