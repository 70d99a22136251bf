#include "files/gitrefprovider.h"

#include "base/fileio.h"
#include "base/unicode.h"
#include "files/gitrefname.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

namespace korvane {
namespace {

using TimePoint = std::chrono::system_clock::time_point;

constexpr std::string_view blanks = " \t";
// A ".git" file is one line naming the real repository folder.
constexpr std::size_t gitFileLimit = 64 * 1024;

std::vector<std::string_view> splitAtTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

// The whole text as a decimal number, or nothing.
std::optional<double> parseDecimal(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

TimePoint fromUnixSeconds(double seconds) {
    return TimePoint(std::chrono::duration_cast<TimePoint::duration>(std::chrono::duration<double>(seconds)));
}

} // namespace

namespace localcalendar {

std::optional<TimePoint> addingDays(TimePoint time, std::int64_t days) {
    const auto whole = std::chrono::floor<std::chrono::seconds>(time);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(whole);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) {
        return std::nullopt;
    }
    const std::int64_t day = static_cast<std::int64_t>(local.tm_mday) + days;
    if (day > 1'000'000'000 || day < -1'000'000'000) {
        return std::nullopt;
    }
    local.tm_mday = static_cast<int>(day);
    // Let the library settle whether the moved date falls in summer or winter time.
    local.tm_isdst = -1;
    const std::time_t moved = ::mktime(&local);
    if (moved == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return std::chrono::system_clock::from_time_t(moved) + (time - whole);
}

std::optional<std::int64_t> wholeDaysBetween(TimePoint from, TimePoint to) {
    if (to < from) {
        const auto days = wholeDaysBetween(to, from);
        return days ? std::optional<std::int64_t>(-*days) : std::nullopt;
    }
    // A calendar day is 23, 24 or 25 hours long, so the estimate is off by at most one either way.
    auto days =
        static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::hours>(to - from).count() / 24);
    for (int step = 0; step < 3; ++step) {
        const auto next = addingDays(from, days + 1);
        if (!next) {
            return std::nullopt;
        }
        if (*next > to) {
            break;
        }
        ++days;
    }
    while (days > 0) {
        const auto at = addingDays(from, days);
        if (!at) {
            return std::nullopt;
        }
        if (*at <= to) {
            break;
        }
        --days;
    }
    return days;
}

} // namespace localcalendar

GitRefProvider::GitRefProvider(std::int64_t maxBranchAgeDays, CommandRunner runGit)
    : maxBranchAgeDays_(maxBranchAgeDays)
    , runGit_(std::move(runGit)) {}

bool GitRefProvider::isWorkingTree(const std::string& root) {
    const std::filesystem::path marker = std::filesystem::path(root) / ".git";
    std::error_code error;
    const auto status = std::filesystem::status(marker, error);
    if (error || !std::filesystem::exists(status)) {
        return false;
    }
    if (std::filesystem::is_directory(status)) {
        return true;
    }
    // A linked worktree or a submodule: the file names the real repository folder.
    const auto text = readTextFile(marker, gitFileLimit);
    return text && isValidUtf8(*text) && text->starts_with("gitdir: ");
}

std::vector<Snippet> GitRefProvider::snippets(const std::string& root) {
    if (!isWorkingTree(root)) {
        return {};
    }
    auto all = branchSnippets(root, maxBranchAgeDays_);
    auto tags = tagSnippets(root);
    all.insert(all.end(), std::make_move_iterator(tags.begin()), std::make_move_iterator(tags.end()));
    return all;
}

std::vector<Snippet> GitRefProvider::branchSnippets(const std::string& root,
                                                    std::int64_t maxBranchAgeDays) const {
    if (!runGit_) {
        return {};
    }
    const auto lines = runGit_({"for-each-ref",
                                "--format=%(refname:short)\t%(authorname)\t%(committerdate:relative)\t"
                                "%(committerdate:unix)\t%(subject)",
                                "--sort=-committerdate", "refs/heads/"},
                               root, listingTimeout);
    if (!lines) {
        return {};
    }
    return parseBranches(*lines, maxBranchAgeDays, std::chrono::system_clock::now());
}

std::vector<Snippet> GitRefProvider::parseBranches(const std::vector<std::string>& lines,
                                                   std::int64_t maxBranchAgeDays, TimePoint now) {
    std::optional<TimePoint> cutoff;
    if (maxBranchAgeDays >= 1) {
        cutoff = localcalendar::addingDays(now, -maxBranchAgeDays);
    }
    std::vector<Snippet> branches;
    for (const auto& line : lines) {
        const std::string_view trimmed = trimmedAscii(line, blanks);
        if (trimmed.empty()) {
            continue;
        }
        const auto fields = splitAtTabs(trimmed);
        if (fields.size() < 4) {
            continue;
        }
        const std::string name(fields[0]);
        // A branch is inserted, and handed to git for its figures: no name that reads as an option.
        if (!isSafeRefName(name)) {
            continue;
        }
        const TimePoint committed = fromUnixSeconds(parseDecimal(fields[3]).value_or(0));
        if (cutoff && committed < *cutoff) {
            continue;
        }
        std::map<std::string, std::string> metadata{
            {"author", std::string(fields[1])},
            {"date", std::string(fields[2])},
            {"subject", fields.size() > 4 ? std::string(fields[4]) : std::string()},
            {"timestamp", std::string(fields[3])},
        };
        const std::int64_t age = localcalendar::wholeDaysBetween(committed, now).value_or(0);
        if (age >= staleDays) {
            metadata["stale"] = "true";
            metadata["days_old"] = std::to_string(age);
        }
        Snippet snippet;
        snippet.id = "git:branch:" + name;
        snippet.label = name;
        snippet.expansion = name;
        snippet.source = SnippetSource::gitRef();
        snippet.metadata = std::move(metadata);
        branches.push_back(std::move(snippet));
    }
    return branches;
}

std::vector<Snippet> GitRefProvider::tagSnippets(const std::string& root) const {
    if (!runGit_) {
        return {};
    }
    const auto lines = runGit_({"tag"}, root, listingTimeout);
    return lines ? parseTags(*lines) : std::vector<Snippet>{};
}

std::vector<Snippet> GitRefProvider::parseTags(const std::vector<std::string>& lines) {
    std::vector<Snippet> tags;
    tags.reserve(lines.size());
    for (const auto& line : lines) {
        const std::string name(trimmedAscii(line, blanks));
        if (!isSafeRefName(name)) {
            continue;
        }
        Snippet snippet;
        snippet.id = "git:tag:" + name;
        snippet.label = name;
        snippet.expansion = name;
        snippet.source = SnippetSource::gitRef();
        snippet.metadata = std::map<std::string, std::string>{{"type", "tag"}};
        tags.push_back(std::move(snippet));
    }
    return tags;
}

} // namespace korvane
