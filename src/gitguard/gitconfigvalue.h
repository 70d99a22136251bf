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
// the folder's own files among them), or an absolute one that leads into a folder not trusted.
// Stateless; any thread.
class GitConfigValue {
public:
    // The folders not trusted, each as the kernel resolves it; asked only where a value names an
    // absolute path.
    using Folders = std::function<const std::vector<std::filesystem::path>&()>;

    // Whether `value` holds what a shell would run or take for more than words: `$`, a backquote, `;`,
    // `|`, `&`, `<`, `>`, a parenthesis, a quote, a backslash or a line break.
    static bool holdsShellSyntax(std::string_view value);

    // Why `value` may name a program or file of `folders`: shell syntax, a relative path (one with a
    // slash, "." or ".."), or an absolute path (also "~/…" from `home`) that may lead into one of them,
    // also through a link. Each word of the value counts, and each part of a word after "=", ":" or
    // ","; a web address names no path, nor does the host's path of ssh's "host:path" where it is
    // relative. None where it cannot.
    static std::optional<std::string> whyMayNameFolder(std::string_view value, const Folders& folders,
                                                       std::string_view home);
    // The absolute paths of `value` that whyMayNameFolder follows on the file system, so that a
    // caller that keeps its answer can stamp them before it asks.
    static std::vector<std::string> absolutePaths(std::string_view value, std::string_view home);
};

} // namespace korvane
