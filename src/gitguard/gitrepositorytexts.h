#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// What git prints and keeps in files, read as git writes it, for the reading of what a folder's
// repositories hold: its answers, its complaints and index bytes. Any of it may come from a hostile
// folder. Stateless; any thread.
class GitRepositoryTexts {
public:
    // A gitlink's mode, 0160000, as the index stores it: four bytes, most significant first.
    static constexpr std::string_view gitlinkMode{"\0\0\xE0\0", 4};

    // How a record of `git ls-files --stage -z` that lists a gitlink starts: its mode and a space.
    static constexpr std::string_view gitlinkRecordStart = "160000 ";
    // Whether a record of `git ls-files --stage -z` lists a gitlink.
    static bool listsGitlink(std::string_view record);
    // Whether `bytes` hold a gitlink's mode. Its one byte that is not zero is looked for first, since an
    // index (or a file posing as one) may hold long runs of zeros.
    static bool holdsGitlinkMode(std::string_view bytes);
    // The `count` values of an answer that prints one per line, or none when the answer is not exactly
    // `count` lines: a value that holds a line break (a folder's name may) makes it ambiguous.
    static std::optional<std::vector<std::string>> lines(std::string_view output, std::size_t count);
    // The one value of an answer that prints one line, line breaks inside it kept.
    static std::string line(std::string_view output);
    // git's complaint as one line of at most a few hundred bytes: its lines joined, control characters
    // (a file name may hold any) made spaces, cut at a character's start.
    static std::string complaint(std::string_view text);
    // A name or value as a reason shows it: whole up to `limit` bytes (a few hundred unless given), else
    // cut at a character's start and marked with "…", so that a setting of megabytes makes no line of
    // megabytes.
    static std::string shown(std::string_view text, std::size_t limit = shownLimit);

private:
    static constexpr std::size_t shownLimit = 200;
};

} // namespace korvane
