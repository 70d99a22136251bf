#pragma once

#include "base/mappedtext.h"
#include "base/outputbudget.h"
#include "gitguard/gitconfiglisting.h"
#include "gitguard/gitreachrequests.h"
#include "gitguard/processbatch.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The git runs of one reading of what git reaches: runs a batch within the reading's deadline, judges
// how each run ended, parses a listing and reads what `git rev-parse` says of a repository, keeping the
// reason the reading failed. Lives for one reading, on the thread that reads.
class GitReachRuns {
public:
    using Via = GitReachRequests::Via;
    struct Candidate {
        Via via;
        std::filesystem::path path;
        // The repository whose index or modules folder named it.
        std::size_t parent = 0;
    };
    // A configuration as git listed it: its text, and its entries as views into it.
    struct Listed {
        std::shared_ptr<const MappedText> text;
        std::vector<GitConfigEntry> entries;
    };
    // What `git rev-parse` says of a repository.
    struct Paths {
        std::filesystem::path gitDir;
        std::filesystem::path modules;
        std::vector<std::filesystem::path> remoteFolders;
        std::vector<std::filesystem::path> configFiles;
        std::filesystem::path worktrees;
        std::vector<std::filesystem::path> operationFolders;
        std::filesystem::path index;
        std::optional<std::filesystem::path> workTree;
    };

    // What git prints is held within a share of `budget`.
    GitReachRuns(ProcessRunner& runner, const ProcessRequest& base, const OutputBudget& budget);

    GitReachRequests& requests() { return requests_; }
    // The batch's outcomes, or none when the reading ran out of time.
    std::optional<std::vector<ProcessBatch::Outcome>> runAll(const std::vector<ProcessRequest>& requests);
    // Whether git ran to its end; else the reading has failed. A launch that failed is the caller's.
    bool ended(const ProcessBatch::Outcome& outcome, const std::filesystem::path& directory);
    // The listing of a repository's configuration, which git prints into `text`.
    ProcessRequest listingInto(const std::filesystem::path& directory, Via via,
                               std::shared_ptr<MappedText>& text);
    // The entries of a listing git printed, or none (and the reading failed) where the budget cannot
    // hold them.
    std::optional<Listed> parsed(std::shared_ptr<const MappedText> text);
    // The repository the candidate's git finds: none when git finds none (which `listed` must agree
    // with); no answer (and the reading failed) when the reading failed.
    std::optional<std::optional<Paths>> find(const Candidate& candidate, const ProcessBatch::Outcome& answer,
                                             const std::vector<GitConfigEntry>& listed);
    // Whether the reading ran out of time, which fails it.
    bool expired();
    bool failPastBudget();
    // Fails the reading for `reason`; always false.
    bool fail(std::string reason) {
        error_ = std::move(reason);
        return false;
    }
    const std::string& error() const { return error_; }

private:
    std::optional<std::vector<std::string>> values(const Candidate& candidate,
                                                   const ProcessBatch::Outcome& answer, bool withTop);

    ProcessRunner& runner_;
    GitReachRequests requests_;
    std::string error_;
};

} // namespace korvane
