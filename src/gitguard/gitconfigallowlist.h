#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvane {

class GitListedKeys;

// One rule of the allow-list of a folder's git settings: a key in git's own spelling ("<...>" stands for a
// name the configuration chooses; "*" as the last part for any variable) and what a folder may set there.
struct GitConfigRule {
    enum class Verdict {
        // harmless whatever its value
        allowed,
        // harmless only with one of the values `detail` lists ("a|b|c"), compared without case
        someValues,
        // harmless only as one of the values `detail` lists, each byte as written
        exactValues,
        // names a work tree: harmless only where git resolves it to the repository's own
        ownWorkTree,
        // names a folder of hooks: harmless only as the `hooks` folder beside the file that sets it (that of
        // the git directory, which the program that reads it runs where the key is not set)
        ownHooks,
        // a remote's address: harmless only where git goes over the network for it
        networkAddress,
        // rewrites addresses into the one its key names (url.<base>.insteadOf): harmless only where that
        // base stays an address over the network whatever follows it
        networkBase,
        // names a text file git reads (a template, patterns, revisions): harmless only as a file of the
        // repository's work tree, or one not there yet (the caller checks)
        workTreeFile,
        // a remote's name or an address: harmless where it names a remote that the configuration gives an
        // address (the caller checks) or is an address over the network
        remoteName,
        // an address of a program other than git: harmless only as one of the schemes `detail` lists
        // ("http|https"), followed by "://"
        schemeAddress,
        // read by a script that evaluates it as shell code (`detail` says which): harmless only without
        // shell syntax (GitConfigValue::holdsShellSyntax)
        noShellSyntax,
        // `detail` says why, in a few plain words ("starts a program", "names a file git reads")
        refused,
    };
    std::string_view key;
    Verdict verdict;
    std::string_view detail;
    bool listedByGit = true; // false for the few keys `git help --config` leaves out
    // For a key harmless only with some values, what the others do, where the refusal says it.
    std::string_view otherValues = {};
};

// The settings a folder's own git configuration may hold and still have the user's commands run there before
// the folder is trusted. A key that neither the git that runs nor a program it starts reads as a program, a
// path or an address passes: one no rule names passes where that git does not list it among the keys it reads
// (GitListedKeys) and its value can name no program or file of the folder (GitConfigValue, which the caller
// asks), so that the keys tools write for themselves (gh, editors, git-review) pass. The rules name the rest:
// what git, git-lfs, the user's credential helper and the programs that come with git read, and the program
// keys of the `git-*` programs Debian ships (git-clang-format, git-annex, git flow, ...) and of a few others
// (git town, git-branchless), allowed where it starts nothing, names no file, redirects no address, leads no
// push to a repository on this machine, lowers no check and defines no alias, driver or include, and the keys
// tools write that hold branch names with a slash (git town's). Plain table; any thread.
class GitConfigAllowList {
public:
    static std::span<const GitConfigRule> all();
    // The first rule that `key` matches, as git lists keys (section and variable in lower case, a
    // subsection as written, which may hold dots); none when no rule names it.
    static const GitConfigRule* ruleFor(std::string_view key);
    // Why a folder's entry keeps the user's commands from running there until the folder is trusted;
    // none when it is allowed (an ownWorkTree, ownHooks or workTreeFile key, and a remoteName one that may
    // name a remote, count as allowed here: the caller checks them). A key no rule names passes only where
    // `listed`, the list of the git that runs, is known and does not name it, and then the caller checks its
    // value.
    static std::optional<std::string> refusal(std::string_view key, std::optional<std::string_view> value,
                                              const GitListedKeys* listed = nullptr);
    // The same for a key whose rule is already known (`ruleFor`'s answer).
    static std::optional<std::string> refusal(const GitConfigRule* rule, std::string_view key,
                                              std::optional<std::string_view> value,
                                              const GitListedKeys* listed = nullptr);
};

} // namespace korvane
