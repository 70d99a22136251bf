#include "files/gitcommandrunner.h"

#include "base/diagnostics.h"
#include "base/unicode.h"
#include "files/gitworktree.h"
#include "files/rootname.h"
#include "gitguard/gitprogramoverridescache.h"

#include <chrono>
#include <fmt/format.h>
#include <unistd.h>
#include <utility>

namespace korvane {
namespace {

constexpr const char* category = "GitCommandRunner";
constexpr std::size_t stderrCut = 200;

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The first `count` characters (code points) of `text`; an undecodable text gives `fallback`.
std::string firstCharacters(const std::string& text, std::size_t count, std::string_view fallback) {
    if (!isValidUtf8(text)) {
        return std::string(fallback);
    }
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (characters == count) {
                return text.substr(0, i);
            }
            ++characters;
        }
    }
    return text;
}

std::size_t countNonEmptyLines(const std::string& output) {
    if (!isValidUtf8(output)) {
        return 0;
    }
    std::size_t lines = 0;
    std::size_t start = 0;
    while (start <= output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::size_t stop = end == std::string::npos ? output.size() : end;
        if (stop > start) {
            ++lines;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

// The error of a "[GIT EXEC FAILED]" line for a folder whose file names git may not list.
std::string_view refusalText(GitFailure failure) {
    switch (failure) {
    case GitFailure::noRepository:
        return "no repository holds this folder";
    case GitFailure::workTreeRefused:
        return "the work tree is not this folder's own";
    case GitFailure::timedOut:
        return "the work tree could not be checked in time";
    case GitFailure::failed:
    case GitFailure::gitMissing:
        break;
    }
    return "the work tree could not be checked";
}

// The commands whose output names files of the directory they run in.
bool listsFileNames(const std::vector<std::string>& arguments) {
    return !arguments.empty() &&
           (arguments.front() == "ls-files" || arguments.front() == "status" || arguments.front() == "log");
}

} // namespace

std::vector<std::string> nonEmptyLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            lines.emplace_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

GitCommandRunner::GitCommandRunner(std::shared_ptr<ProcessRunner> processRunner, Mode mode,
                                   std::string executable)
    : processRunner_(std::move(processRunner))
    , mode_(mode)
    , executable_(std::move(executable)) {}

std::vector<std::string> GitCommandRunner::commandLine(const std::vector<std::string>& arguments) {
    // Paths always come quoted and escaped, whatever the user's setting, so every listing is ASCII and
    // one non-UTF-8 file name cannot make the whole listing undecodable.
    // A signed commit would otherwise make log run the repository's own `gpg.program`.
    std::vector<std::string> line{"-c", "core.fsmonitor=false", "-c", "core.quotePath=true"};
    line.insert(line.end(), {"-c", "log.showSignature=false"});
    const bool status = !arguments.empty() && arguments.front() == "status";
    if (!status) {
        line.insert(line.end(), arguments.begin(), arguments.end());
        return line;
    }
    // status would otherwise refresh the index under index.lock and break a commit run at that moment,
    // and run itself in each submodule, under that submodule's own filters.
    line.emplace_back("--no-optional-locks");
    line.emplace_back("status");
    line.emplace_back("--ignore-submodules=all");
    line.insert(line.end(), arguments.begin() + 1, arguments.end());
    return line;
}

ProcessRequest GitCommandRunner::request(const std::vector<std::string>& arguments,
                                         const std::string& directory, double timeout,
                                         const GitProgramOverrides& overrides) const {
    ProcessRequest request;
    request.executable = executable_;
    request.arguments = commandLine(arguments);
    request.workingDirectory = directory;
    // Answers and complaints in git's own words whatever language the user reads: LANGUAGE would choose
    // the translation even under LC_ALL.
    request.environment = {{"GIT_TERMINAL_PROMPT", "0"}, {"LC_ALL", "C"}};
    for (auto& variable : overrides.environment()) {
        request.environment.push_back(std::move(variable));
    }
    // GIT_CONFIG would make the configuration listing read that file alone.
    request.removedEnvironment = {"GIT_DIR",        "GIT_WORK_TREE", "GIT_COMMON_DIR",
                                  "GIT_INDEX_FILE", "GIT_CONFIG",    "LANGUAGE"};
    request.timeout = timeout < 0 ? 0 : timeout;
    request.killGrace = mode_ == Mode::logged ? terminationGrace : quietTerminationGrace;
    request.outputLimit = outputLimit;
    request.errorOutput =
        mode_ == Mode::logged ? ProcessRequest::ErrorOutput::capture : ProcessRequest::ErrorOutput::discard;
    return request;
}

GitOutput GitCommandRunner::run(const std::vector<std::string>& arguments, const std::string& directory,
                                double timeout) const {
    const auto start = std::chrono::steady_clock::now();
    const bool logged = mode_ == Mode::logged;
    const std::string cwd = logRootName(directory);
    const auto execFailed = [&](std::string_view error) {
        if (logged) {
            errorLog(category, fmt::format("[GIT EXEC FAILED] cwd={} error={} elapsed={:.2f}ms", cwd, error,
                                           millisecondsSince(start)));
        }
    };
    if (!processRunner_) {
        execFailed("no process runner");
        return GitOutput::none(GitFailure::failed);
    }
    const bool listing = listsFileNames(arguments);
    // Said once, when git gave the answer.
    if (listing && noRepository_->holdsNone(directory)) {
        return GitOutput::none(GitFailure::noRepository);
    }
    auto overrides = programOverrides(directory, timeout);
    if (!overrides) {
        execFailed(overrides.error());
        return GitOutput::none(millisecondsSince(start) >= timeout * 1000 ? GitFailure::timedOut
                                                                          : launchFailure());
    }
    if (listing) {
        GitFolderStamp before = GitNoRepositoryFolders::stampBefore(request({}, directory, 0, *overrides));
        if (auto refused =
                workTreeRefusal(directory, timeout - millisecondsSince(start) / 1000, *overrides)) {
            // A refusal the user can mend is asked again.
            if (*refused == GitFailure::noRepository &&
                !noRepository_->remember(directory, std::move(before))) {
                refused = GitFailure::failed;
            }
            execFailed(refusalText(*refused));
            return GitOutput::none(*refused);
        }
    }
    const double remaining = timeout - millisecondsSince(start) / 1000;
    auto outcome = processRunner_->run(request(arguments, directory, remaining, *overrides));
    if (!outcome) {
        execFailed(outcome.error().description);
        return GitOutput::none(launchFailure());
    }
    const ProcessResult& result = *outcome;
    const double elapsed = millisecondsSince(start);
    switch (result.ending) {
    case ProcessResult::Ending::timedOut:
    case ProcessResult::Ending::cancelled:
        if (logged) {
            errorLog(category,
                     fmt::format("[GIT TIMEOUT] cwd={} elapsed={:.2f}ms timeout={:.0f}ms isRunning={} "
                                 "partialLines={} stderr={}",
                                 cwd, elapsed, timeout * 1000, result.stillRunning ? "YES" : "NO",
                                 countNonEmptyLines(result.output),
                                 firstCharacters(result.errorOutput, stderrCut, "")));
        }
        return GitOutput::none(GitFailure::timedOut);
    case ProcessResult::Ending::exited:
    case ProcessResult::Ending::signaled:
    case ProcessResult::Ending::outputLimitExceeded:
        break;
    }
    if (!result.succeeded()) {
        if (logged) {
            errorLog(category,
                     fmt::format("[GIT EXIT ERROR] cwd={} status={} stderr={} elapsed={:.2f}ms", cwd,
                                 result.status,
                                 firstCharacters(result.errorOutput, stderrCut, "unknown error"), elapsed));
        }
        return GitOutput::none(GitFailure::failed);
    }
    if (!isValidUtf8(result.output)) {
        if (logged) {
            errorLog(category, fmt::format("[GIT DECODE ERROR] cwd={} elapsed={:.2f}ms", cwd, elapsed));
        }
        return GitOutput::none(GitFailure::failed);
    }
    return nonEmptyLines(result.output);
}

GitFailure GitCommandRunner::launchFailure() const {
    return ::access(executable_.c_str(), X_OK) == 0 ? GitFailure::failed : GitFailure::gitMissing;
}

Expected<GitProgramOverrides, std::string> GitCommandRunner::programOverrides(const std::string& directory,
                                                                              double timeout) const {
    ProcessRequest listing = request(GitProgramOverrides::listingArguments(), directory, timeout);
    listing.errorOutput = ProcessRequest::ErrorOutput::discard;
    // Without the list the programs cannot be switched off, so git does not run at all.
    return GitProgramOverridesCache::shared().read(*processRunner_, listing);
}

GitOutput GitCommandRunner::quietLines(const std::vector<std::string>& arguments,
                                       const std::string& directory, double timeout,
                                       const GitProgramOverrides& overrides) const {
    ProcessRequest quiet = request(arguments, directory, timeout, overrides);
    quiet.errorOutput = ProcessRequest::ErrorOutput::discard;
    auto outcome = processRunner_->run(quiet);
    if (outcome && (outcome->ending == ProcessResult::Ending::timedOut ||
                    outcome->ending == ProcessResult::Ending::cancelled)) {
        return GitOutput::none(GitFailure::timedOut);
    }
    if (!outcome || !outcome->succeeded() || !isValidUtf8(outcome->output)) {
        return GitOutput::none(GitFailure::failed);
    }
    return nonEmptyLines(outcome->output);
}

std::optional<GitFailure> GitCommandRunner::workTreeRefusal(const std::string& directory, double timeout,
                                                            const GitProgramOverrides& overrides) const {
    const auto start = std::chrono::steady_clock::now();
    ProcessRequest probe = request(GitWorkTree::probeArguments(), directory, timeout, overrides);
    probe.errorOutput = ProcessRequest::ErrorOutput::discard;
    const auto outcome = processRunner_->run(probe);
    if (!outcome) {
        return GitFailure::failed;
    }
    switch (outcome->ending) {
    case ProcessResult::Ending::timedOut:
    case ProcessResult::Ending::cancelled:
        return GitFailure::timedOut;
    case ProcessResult::Ending::exited:
        // git answers with an error status for a folder that no repository holds, or one it will
        // not work in (GitNoRepositoryFolders tells which).
        if (outcome->status != 0) {
            return GitFailure::noRepository;
        }
        break;
    case ProcessResult::Ending::signaled:
    case ProcessResult::Ending::outputLimitExceeded:
        return GitFailure::failed;
    }
    if (!isValidUtf8(outcome->output)) {
        return GitFailure::failed;
    }
    // A check cut short by the clock says nothing about the work tree.
    std::optional<GitFailure> unanswered;
    const bool holds =
        GitWorkTree::holds(directory, nonEmptyLines(outcome->output), [&]() -> std::optional<std::string> {
            const GitOutput lines = quietLines(GitWorkTree::configuredWorkTreeArguments(), directory,
                                               timeout - millisecondsSince(start) / 1000, overrides);
            if (!lines && lines.failure() == GitFailure::timedOut) {
                unanswered = GitFailure::timedOut;
            }
            return lines && lines->size() == 1 ? std::optional(lines->front()) : std::nullopt;
        });
    if (holds) {
        return std::nullopt;
    }
    return unanswered.value_or(GitFailure::workTreeRefused);
}

CommandRunner GitCommandRunner::commandRunner() const {
    return [runner = *this](const std::vector<std::string>& arguments, const std::string& directory,
                            double timeout) { return runner.run(arguments, directory, timeout); };
}

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

} // namespace korvane
