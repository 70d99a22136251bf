#include "files/gitbranchmetadataprovider.h"

#include "base/unicode.h"
#include "files/gitcommandrunner.h"
#include "files/gitrefname.h"

#include <charconv>
#include <utility>
#include <vector>

namespace korvane {
namespace {

constexpr std::string_view whitespace = " \t\n\r\v\f";

// The whole text as a decimal integer with an optional sign, or nothing.
std::optional<long long> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            return std::nullopt;
        }
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

GitBranchMetadataProvider::GitBranchMetadataProvider(CommandRunner runGit)
    : runGit_(std::move(runGit)) {}

std::optional<std::string> GitBranchMetadataProvider::defaultBranch(const std::string& root) const {
    if (!runGit_) {
        return std::nullopt;
    }
    if (const auto head = runGit_({"symbolic-ref", "refs/remotes/origin/HEAD"}, root, queryTimeout)) {
        constexpr std::string_view prefix = "refs/remotes/origin/";
        const std::string text = joinedLines(*head);
        const std::string_view trimmed = trimmedAscii(text, whitespace);
        // The name comes from the repository, and is later given to git as a revision.
        if (trimmed.starts_with(prefix) && isSafeRefName(trimmed.substr(prefix.size()))) {
            return std::string(trimmed.substr(prefix.size()));
        }
    }
    for (const char* candidate : {"main", "master"}) {
        if (runGit_({"rev-parse", "--verify", candidate}, root, queryTimeout)) {
            return std::string(candidate);
        }
    }
    return std::nullopt;
}

std::optional<std::pair<long long, long long>>
GitBranchMetadataProvider::parseCounts(const std::string& output) {
    std::vector<std::string_view> pieces;
    std::string_view rest = output;
    while (true) {
        const std::size_t start = rest.find_first_not_of(whitespace);
        if (start == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(start);
        const std::size_t end = rest.find_first_of(whitespace);
        pieces.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(end);
    }
    if (pieces.size() != 2) {
        return std::nullopt;
    }
    const auto behind = parseInteger(pieces[0]);
    const auto ahead = parseInteger(pieces[1]);
    if (!behind || !ahead) {
        return std::nullopt;
    }
    return std::pair{*behind, *ahead};
}

std::optional<std::map<std::string, std::string>>
GitBranchMetadataProvider::aheadBehind(const std::string& branch, const std::string& root) const {
    if (!isSafeRefName(branch)) {
        return std::nullopt;
    }
    const auto base = defaultBranch(root);
    if (!base) {
        return std::nullopt;
    }
    if (branch == *base) {
        return std::map<std::string, std::string>{{"ahead", "0"}, {"behind", "0"}, {"default_branch", *base}};
    }
    const auto output =
        runGit_({"rev-list", "--left-right", "--count", "--end-of-options", *base + "..." + branch}, root,
                queryTimeout);
    if (!output) {
        return std::nullopt;
    }
    const auto counts = parseCounts(joinedLines(*output));
    if (!counts) {
        return std::nullopt;
    }
    return std::map<std::string, std::string>{{"ahead", std::to_string(counts->second)},
                                              {"behind", std::to_string(counts->first)},
                                              {"default_branch", *base}};
}

} // namespace korvane
