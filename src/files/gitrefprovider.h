#pragma once

#include "files/commandrunner.h"
#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// Offers a project's local branches (newest commit first, older than `maxBranchAgeDays` left out) and
// its tags as snippets. Holds only its setting and the quiet git runner; any thread, any number of
// calls at once.
class GitRefProvider final : public SnippetProvider {
public:
    static constexpr double listingTimeout = 5.0;
    // A branch this many whole days old or older is marked stale.
    static constexpr int staleDays = 31;

    GitRefProvider(std::int64_t maxBranchAgeDays, CommandRunner runGit);

    std::int64_t maxBranchAgeDays() const { return maxBranchAgeDays_; }

    // The branch snippets followed by the tag snippets; empty when `root` is not a git working tree.
    std::vector<Snippet> snippets(const std::string& root) override;
    std::vector<Snippet> branchSnippets(const std::string& root, std::int64_t maxBranchAgeDays) const;
    std::vector<Snippet> tagSnippets(const std::string& root) const;

    // Branch snippets from `for-each-ref` lines, judged against `now` in the local calendar; names
    // that are no safe ref name (isSafeRefName) are left out, as they are from the tags.
    static std::vector<Snippet> parseBranches(const std::vector<std::string>& lines,
                                              std::int64_t maxBranchAgeDays,
                                              std::chrono::system_clock::time_point now);
    static std::vector<Snippet> parseTags(const std::vector<std::string>& lines);

    // Whether `root` holds a ".git" folder, or a ".git" file that points at one ("gitdir: ...").
    static bool isWorkingTree(const std::string& root);

private:
    const std::int64_t maxBranchAgeDays_;
    const CommandRunner runGit_;
};

// Calendar arithmetic in the user's local time zone, aware of daylight-saving changes.
namespace localcalendar {
// `time` moved by `days` calendar days, keeping its local time of day; none when that cannot be formed.
std::optional<std::chrono::system_clock::time_point> addingDays(std::chrono::system_clock::time_point time,
                                                                std::int64_t days);
// The number of whole calendar days from `from` to `to` (negative when `to` is earlier).
std::optional<std::int64_t> wholeDaysBetween(std::chrono::system_clock::time_point from,
                                             std::chrono::system_clock::time_point to);
} // namespace localcalendar

} // namespace korvane
