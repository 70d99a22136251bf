#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace korvane {

// What git prints and keeps in files, read as git reads it, for the walk over what a folder's
// configuration reaches: its answers, its complaints, `.git` and `commondir` files, attributes files
// and index bytes. Any of it may come from a hostile folder. Stateless; any thread.
class GitRepositoryTexts {
public:
    // A gitlink's mode, 0160000, as the index stores it: four bytes, most significant first.
    static constexpr std::string_view gitlinkMode{"\0\0\xE0\0", 4};

    // Whether `bytes` hold a gitlink's mode. Its one byte that is not zero is looked for first, since an
    // index (or a file posing as one) may hold long runs of zeros.
    static bool holdsGitlinkMode(std::string_view bytes);
    // Whether `key` (as git lists it) names a file to include: include.path or includeIf.<condition>.path.
    static bool isIncludeKey(std::string_view key);
    // A path as git reads it from a `.git` or `commondir` file: without the line breaks that end the
    // file, up to a NUL. A line break inside stays part of the name.
    static std::string pathInFile(std::string_view text);
    // The answer of `rev-parse --is-inside-work-tree --absolute-git-dir --show-cdup`: the git directory
    // and, in a work tree, the way up to its top. It parses whole whatever the git directory's name
    // holds, line breaks included, since the way up is printed last and is only "../" steps.
    static std::optional<std::pair<std::filesystem::path, std::optional<std::string>>>
    discovery(std::string_view output);
    // git's complaint as one line of at most a few hundred bytes: its lines joined, control characters
    // (a file name may hold any) made spaces, cut at a character's start.
    static std::string complaint(std::string_view text);
    // The driver names that an attributes file gives to filter, diff and merge.
    static void addAttributeDrivers(std::string_view text, std::set<std::string, std::less<>>& drivers);
};

} // namespace korvane
