#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace korvane {

// Whether a path lies in a folder: the one comparison the guard makes of search path entries, work
// trees, git directories and values of settings, on paths resolved as the kernel resolves them.
// Stateless; any thread.
class PathInFolder {
public:
    // The path the kernel resolves `path` to (every link followed); none where it cannot.
    static std::optional<std::filesystem::path> real(const std::filesystem::path& path);
    // `path` with the links of the part that exists resolved and the rest lexically normal; `path`
    // lexically normal where even that fails.
    static std::filesystem::path resolved(const std::filesystem::path& path);
    // Whether `path` is `folder` or lies below it, both absolute and normal (as `real` and `resolved`
    // give them; a trailing slash is no name of its own).
    static bool inside(std::string_view path, std::string_view folder);
    // Whether the absolute `path` may lead into `folder` (resolved) for a program that follows it: where
    // a name it passes, as written or where a link leads, lies in `folder`; where it passes a name that
    // leads elsewhere for each program (/proc/self/cwd, PerProcessPath) or cannot be followed; and, for
    // a path the kernel cannot resolve yet, where a ".." after a name that is not there may lead
    // anywhere once it is.
    static bool mayLeadInto(const std::filesystem::path& path, const std::filesystem::path& folder);
    // The same for several folders at the cost of one: the first of `folders` that `path` may lead into
    // (the first of all where it may lead anywhere); none where it leads into none of them.
    static const std::filesystem::path* folderLedInto(const std::filesystem::path& path,
                                                      std::span<const std::filesystem::path> folders);
};

} // namespace korvane
