#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// What a configuration value may name for a program that reads it where no rule says how it reads it:
// shell code for a script that evaluates it, a relative path (taken from wherever the program runs,
// the folder's own files among them), or an absolute one that leads into a folder not trusted, written
// out or as a pattern that a shell expands there. Stateless; any thread.
class GitConfigValue {
public:
    // The folders not trusted, each as the kernel resolves it; asked only where a value names an
    // absolute path.
    using Folders = std::function<const std::vector<std::filesystem::path>&()>;
    // Why an absolute path of a value, as written ("~/…" as well), may lead into a folder not trusted;
    // none where it cannot.
    using PathJudge = std::function<std::optional<std::string>(std::string_view written)>;

    // Whether `value` holds what a shell would run or take for more than words: `$`, a backquote, `;`,
    // `|`, `&`, `<`, `>`, a parenthesis, a quote, a backslash or a line break.
    static bool holdsShellSyntax(std::string_view value);

    // Why `value` may name a program or file of the folders not trusted: shell syntax, a relative path
    // (one with a slash, "." or ".."), or an absolute path (also "~/…") that `judgePath` gives a reason
    // for. Each word of the value counts, and each part of a word after "=", ":" or ","; a web address
    // names no path, nor does the host's path of ssh's "host:path" where it is relative. None where it
    // cannot.
    static std::optional<std::string> whyMayNameFolder(std::string_view value, const PathJudge& judgePath);
    // Calls `each` with every absolute path of `value` as written, in the order whyMayNameFolder judges
    // them, until it answers false; with none where the value holds shell syntax.
    static void eachPath(std::string_view value, const std::function<bool(std::string_view written)>& each);

    // The path the kernel follows for the absolute path `written`, "~/…" from `home`: for a pattern
    // (`*`, `?`, `[` or `{`, which a shell expands) its literal leading folders, which hold every path it
    // may stand for. None where `home` is not known.
    static std::optional<std::string> followed(std::string_view written, std::string_view home);
    // Why the absolute path `written` may lead into one of `folders`, also through a link, through
    // /proc/self/cwd or where it is not there yet; a pattern where its literal leading folders lead
    // into one of them or hold one. None where it cannot.
    static std::optional<std::string> whyPathMayLeadInto(std::string_view written, const Folders& folders,
                                                         std::string_view home);
};

} // namespace korvane
