#pragma once

#include "base/expected.h"
#include "platform/processrunner.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One entry of a configuration listing.
struct GitConfigEntry {
    // "local", "global", ...; empty for the entries of a file read on its own.
    std::string scope;
    // "file:<path>" where the listing says where the entry comes from, else empty.
    std::string origin;
    std::string key;
    std::optional<std::string> value;

    bool operator==(const GitConfigEntry&) const = default;
};

// Every configuration that git started in a folder may read there, whatever it is asked to do:
// the repository's config and worktree config, each file that they include whatever the
// condition (a branch switched to later brings its include in), and the same for every submodule
// git can reach (under the repository's modules folder, and each gitlink of an index whose folder
// holds a repository of its own), with the driver names of their attributes files. Reading them
// runs no program: each file is listed by `git config --file`, with the user's own configuration
// left out so that a broken file of the user's is not taken for one of the folder's. Plain value;
// any thread.
class GitReachableConfig {
public:
    // How far a command reaches: Korvane's own commands stay in the repository and never recurse
    // into submodules; the user's commands may do anything git does from the folder.
    enum class Reach { repository, submodules };

    // Entries of `git config --list -z`, with `--show-scope --show-origin` when `scoped`.
    static std::vector<GitConfigEntry> parseEntries(std::string_view listing, bool scoped);

    // The arguments that list every entry with its scope and origin, includes followed.
    static std::vector<std::string> listingArguments();

    // Reads what is reachable from `base.workingDirectory` with the git of `base` (its executable,
    // environment and time limit). `listed` holds the entries of a run of `listingArguments` there,
    // or none when that run failed: the repository's own files are then read one by one. Fails with
    // the file named when one that git would read cannot be read, or when there are more than a
    // command could reasonably reach.
    static Expected<GitReachableConfig, std::string> read(ProcessRunner& runner, const ProcessRequest& base,
                                                          const std::vector<GitConfigEntry>* listed,
                                                          Reach reach);

    // A reading that found `entries` and `drivers`.
    static GitReachableConfig fromEntries(std::vector<GitConfigEntry> entries,
                                          std::set<std::string, std::less<>> drivers = {});

    // The entries of the folder's configuration files (the user's own are not among them).
    const std::vector<GitConfigEntry>& entries() const { return entries_; }
    // The filter, diff and merge driver names of the attributes files.
    const std::set<std::string, std::less<>>& attributeDrivers() const { return attributeDrivers_; }

private:
    std::vector<GitConfigEntry> entries_;
    std::set<std::string, std::less<>> attributeDrivers_;
};

} // namespace korvane
