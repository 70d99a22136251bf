#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// Why a git run printed nothing that can be used.
enum class GitFailure {
    // Anything that may go otherwise next time without the project changing: a launch that failed
    // for want of resources, a git that ended with an error of its own or by a signal, output past
    // its limit or undecodable, or a runner that did not say why.
    failed,
    // The deadline or a cancellation ended the run.
    timedOut,
    // No git at the fixed path it is run from.
    gitMissing,
    // git found no repository that holds the folder.
    noRepository,
    // A repository holds the folder, but its work tree is not the folder's own (GitWorkTree).
    workTreeRefused,
};

// Whether asking again, with the project and the machine as they are, gives the same answer.
bool isFinal(GitFailure failure);
// The failure as log lines name it ("NO_REPOSITORY", ...).
std::string_view toString(GitFailure failure);

// What one git run gave: its non-empty lines, or none and why. It reads as the optional list of lines
// it extends, so callers that need no reason use it as one; a plain optional converts to it, its
// reason unknown (`failed`). A value; any thread.
class GitOutput : public std::optional<std::vector<std::string>> {
public:
    using Lines = std::optional<std::vector<std::string>>;
    using Lines::Lines;

    GitOutput() = default;
    GitOutput(Lines lines)
        : Lines(std::move(lines)) {}

    // No lines, for the reason given.
    static GitOutput none(GitFailure why) {
        GitOutput output;
        output.failure_ = why;
        return output;
    }

    // Why there are no lines; meaningless when there are.
    GitFailure failure() const { return failure_; }

    // The lines alone, as compared. Without exact comparisons of its own, the optional's templates
    // would take a GitOutput for a value to look for inside another optional, and find two empty
    // results unequal.
    const Lines& lines() const { return *this; }
    friend bool operator==(const GitOutput& a, const GitOutput& b) { return a.lines() == b.lines(); }
    friend bool operator==(const GitOutput& a, const Lines& b) { return a.lines() == b; }
    friend bool operator==(const GitOutput& a, const std::vector<std::string>& b) { return a && *a == b; }
    friend bool operator==(const GitOutput& a, std::nullopt_t) { return !a; }

private:
    GitFailure failure_ = GitFailure::failed;
};

} // namespace korvane
