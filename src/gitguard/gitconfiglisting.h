#pragma once

#include "base/outputbudget.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One entry of a configuration listing: views into the listing's text, which whoever holds the entry
// keeps.
struct GitConfigEntry {
    // "local", "worktree", "global", ...; empty for the entries of a listing without scopes.
    std::string_view scope;
    // "file:<path>", "command line:", ... where the listing says where the entry comes from, else empty.
    std::string_view origin;
    std::string_view key;
    std::optional<std::string_view> value;

    bool operator==(const GitConfigEntry&) const = default;
};

// git's own listing of the configuration in effect where it runs, and how to read it. Stateless; any
// thread.
class GitConfigListing {
public:
    // The arguments that list every entry git reads there, includes followed, with its scope and origin,
    // NUL-separated.
    static std::vector<std::string> arguments();

    // The entries of `git config --list -z`, given with `--show-scope --show-origin` when `scoped`, as
    // views into `listing`.
    static std::vector<GitConfigEntry> parse(std::string_view listing, bool scoped);
    // The same, the room the entries take taken from `budget` first; none where too little is left.
    static std::optional<std::vector<GitConfigEntry>> parse(std::string_view listing, bool scoped,
                                                            const OutputBudget& budget);

    // Whether an entry is the user's own: given on git's command line or in its environment, or read
    // from the user's global or system file. A file of those scopes named by a relative path (a
    // GIT_CONFIG_GLOBAL of "x" is read from the folder git runs in) is the folder's.
    static bool isUsers(const GitConfigEntry& entry);

    // The file an entry comes from as the listing names it; empty for one that comes from no file.
    static std::string_view originFile(const GitConfigEntry& entry);
};

} // namespace korvane
