#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvane {

// One configuration variable of git's whose value names a program or a command, or that looks as if
// it did, keyed by git's own spelling: "<...>" stands for a name the configuration chooses (a
// driver, a remote, a tool), "alias.*" for any alias.
struct GitProgramSetting {
    enum class Treatment {
        // Gets the user's own value, else `value`: always when the key has no name in it, else for
        // each name that the folder's configuration (or an attributes file, for a driver) uses.
        neutral,
        // Gets the user's own value, else `value`, where the folder's configuration sets it.
        neutralWhereSet,
        // A filter driver's command: set only where the folder's configuration sets it, the driver
        // then made not required, so the user's own commands of that driver stay in force.
        filterCommand,
        // A list that an empty value empties: emptied, then refilled with the user's own entries.
        helperList,
        // Holds the hooks that git runs: the user's own folder when it is absolute, else none.
        hooksFolder,
        // Protocols that run a command: ext and fd are refused.
        refusedProtocols,
        // Read first-match-first, so the command's own settings cannot win: the environment's
        // GIT_PROXY_COMMAND, which makes git skip the configuration, does.
        proxyEnvironment,
        // Read first-match-first, so the command's own value cannot win: where the folder sets it
        // (and the user does not), the transports that would run it are refused, file (here) and ssh
        // (on the remote host, with the user's keys).
        refusedTransports,
        // "!command" runs the command: such a value gets the user's own, else "checkout".
        updateCommand,
        // Runs no program of the folder's; `value` says why.
        harmless,
    };

    std::string_view key;
    Treatment treatment;
    // The neutral value, or the reason for a harmless one.
    std::string_view value;
    // False for the few that `git help --config` leaves out.
    bool listedByGit = true;
};

// The settings of git that can start a program, each with what makes it run nothing of a folder's.
// Plain table; any thread.
class GitProgramSettings {
public:
    static std::span<const GitProgramSetting> all();

    // The name standing for the placeholder of `pattern` in `key`, an empty view for a pattern without
    // one, or none when `key` is not of the pattern. Section and variable compare without case (git
    // lists them in lower case); the name keeps its own.
    static std::optional<std::string_view> nameIn(std::string_view pattern, std::string_view key);

    // `pattern` with `name` in place of its placeholder, section and variable in lower case.
    static std::string withName(std::string_view pattern, std::string_view name);
};

} // namespace korvane
