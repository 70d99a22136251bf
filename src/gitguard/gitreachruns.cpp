#include "gitguard/gitreachruns.h"

#include "gitguard/gitrepositorytexts.h"

#include <algorithm>

namespace korvane {
namespace {

namespace fs = std::filesystem;

std::string sizeText(std::size_t bytes) {
    constexpr std::size_t mebibyte = 1024 * 1024;
    return bytes % mebibyte == 0 ? std::to_string(bytes / mebibyte) + " MiB"
                                 : std::to_string(bytes / 1024) + " KiB";
}

bool hasFoldersOwn(const std::vector<GitConfigEntry>& entries) {
    return std::any_of(entries.begin(), entries.end(),
                       [](const GitConfigEntry& entry) { return !GitConfigListing::isUsers(entry); });
}

} // namespace

GitReachRuns::GitReachRuns(ProcessRunner& runner, const ProcessRequest& base, const OutputBudget& budget)
    : runner_(runner)
    , requests_(base, budget) {}

bool GitReachRuns::expired() {
    if (!requests_.pastDeadline()) {
        return false;
    }
    return !fail("the configuration could not be read in time");
}

std::optional<std::vector<ProcessBatch::Outcome>>
GitReachRuns::runAll(const std::vector<ProcessRequest>& requests) {
    if (expired()) {
        return std::nullopt;
    }
    return ProcessBatch::runAll(runner_, requests, requests_.deadline());
}

bool GitReachRuns::ended(const ProcessBatch::Outcome& outcome, const fs::path& directory) {
    if (!outcome) {
        return fail(outcome.error().description);
    }
    switch (outcome->ending) {
    case ProcessResult::Ending::exited:
        return true;
    case ProcessResult::Ending::outputLimitExceeded:
        if (requests_.budget().spent()) {
            return failPastBudget();
        }
        return fail("git printed more than can be read in " + directory.string());
    case ProcessResult::Ending::signaled:
        return fail("git ended by a signal in " + directory.string());
    case ProcessResult::Ending::timedOut:
    case ProcessResult::Ending::cancelled:
        break;
    }
    return fail("the configuration could not be read in time");
}

bool GitReachRuns::failPastBudget() {
    return fail("git printed more than " + sizeText(requests_.budget().size()) +
                " for the repositories reached from " + requests_.base().workingDirectory.value_or("."));
}

ProcessRequest GitReachRuns::listingInto(const fs::path& directory, Via via,
                                         std::shared_ptr<MappedText>& text) {
    text = std::make_shared<MappedText>(requests_.budget());
    ProcessRequest request = requests_.listing(directory, via);
    request.onOutput = [text](std::string_view piece, std::string&) { return text->append(piece); };
    return request;
}

std::optional<GitReachRuns::Listed> GitReachRuns::parsed(std::shared_ptr<const MappedText> text) {
    Listed listed{std::move(text), {}};
    auto entries = GitConfigListing::parse(listed.text->view(), true, requests_.budget());
    if (!entries) {
        failPastBudget();
        return std::nullopt;
    }
    listed.entries = std::move(*entries);
    return listed;
}

std::optional<std::vector<std::string>>
GitReachRuns::values(const Candidate& candidate, const ProcessBatch::Outcome& answer, bool withTop) {
    const std::size_t fields = GitReachRequests::pathCount(candidate.via, withTop);
    auto found = GitRepositoryTexts::lines(answer->output, fields);
    if (!found) {
        // A name with a line break in it: each value asked on its own reads whole.
        std::vector<ProcessRequest> requests;
        for (std::size_t field = 0; field < fields; ++field) {
            requests.push_back(requests_.path(field, candidate.path, candidate.via));
        }
        const auto answers = runAll(requests);
        if (!answers) {
            return std::nullopt;
        }
        found.emplace();
        for (const auto& single : *answers) {
            if (!ended(single, candidate.path)) {
                return std::nullopt;
            }
            if (!single->succeeded()) {
                fail("the repository of " + candidate.path.string() + " could not be read");
                return std::nullopt;
            }
            found->push_back(GitRepositoryTexts::line(single->output));
        }
    }
    for (const auto& value : *found) {
        if (!value.starts_with('/')) {
            fail("the repository of " + candidate.path.string() + " could not be read");
            return std::nullopt;
        }
    }
    return found;
}

std::optional<std::optional<GitReachRuns::Paths>>
GitReachRuns::find(const Candidate& candidate, const ProcessBatch::Outcome& answer,
                   const std::vector<GitConfigEntry>& listed) {
    if (!ended(answer, candidate.path)) {
        return std::nullopt;
    }
    bool withTop = candidate.via != Via::gitDir;
    ProcessBatch::Outcome final = answer;
    if (!answer->succeeded() && withTop) {
        // A repository without a work tree answers all but its top.
        withTop = false;
        auto again = runAll({requests_.paths(candidate.path, candidate.via, false)});
        if (!again || !ended(again->front(), candidate.path)) {
            return std::nullopt;
        }
        final = std::move(again->front());
    }
    if (!final->succeeded()) {
        // git found no repository. The listing would name the folder's own entries where it found one.
        if (hasFoldersOwn(listed)) {
            fail("the repository of " + candidate.path.string() + " could not be read");
            return std::nullopt;
        }
        return std::optional<Paths>();
    }
    const auto found = values(candidate, final, withTop);
    if (!found) {
        return std::nullopt;
    }
    using Field = GitReachRequests::Field;
    const auto field = [&](Field which) {
        const auto at = static_cast<std::size_t>(which);
        return at < found->size() ? fs::path((*found)[at]) : fs::path();
    };
    Paths paths{field(Field::gitDir),
                field(Field::modules),
                {field(Field::remotes), field(Field::branches)},
                {field(Field::config), field(Field::worktreeConfig)},
                field(Field::worktrees),
                {field(Field::rebaseMerge), field(Field::rebaseApply), field(Field::sequencer)},
                field(Field::index),
                std::nullopt};
    if (withTop) {
        paths.workTree = field(Field::top);
    }
    return std::optional<Paths>(std::move(paths));
}

} // namespace korvane
