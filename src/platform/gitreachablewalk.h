#pragma once

#include "platform/gitreachableconfig.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// One reading of what a folder reaches, for GitReachableConfig::read: the repository git finds
// there, the configuration files it and its submodules read, their attributes files. Lives for one
// reading, on the thread that reads.
class GitReachableWalk {
public:
    // Reads with the git, environment and time limit of `base`, in its working directory.
    GitReachableWalk(ProcessRunner& runner, const ProcessRequest& base);

    // Reads what `reach` takes in, after the repository's own `listed` entries (none: its files
    // are read one by one); the reason, when a file of the folder's cannot be read or there is more
    // than the bounds allow.
    std::optional<std::string> walk(const std::vector<GitConfigEntry>* listed,
                                    GitReachableConfig::Reach reach);
    const std::vector<GitConfigEntry>& entries() const { return entries_; }
    const std::set<std::string, std::less<>>& attributeDrivers() const { return attributeDrivers_; }

private:
    struct Repository {
        std::filesystem::path gitDir;
        std::optional<std::filesystem::path> workTree;
        // As GIT_COMMON_DIR names it, for the top repository; else read from the git directory.
        std::optional<std::filesystem::path> commonDir;
    };

    std::filesystem::path folder() const { return base_.workingDirectory.value_or("."); }
    // git run in `directory` with the walk's environment, `environment` added and `removed` left
    // out, within what is left of the time limit; `outputLimit` replaces the request's own.
    std::optional<ProcessResult> runGit(std::vector<std::string> arguments,
                                        const std::filesystem::path& directory,
                                        std::vector<std::pair<std::string, std::string>> environment,
                                        std::vector<std::string> removed,
                                        std::optional<std::size_t> outputLimit);
    std::optional<ProcessResult>
    runNeutralGit(std::vector<std::string> arguments, const std::filesystem::path& directory,
                  std::vector<std::pair<std::string, std::string>> environment = {},
                  std::optional<std::size_t> outputLimit = std::nullopt);
    // Whether the deadline passed or the command was cancelled; the reading has then failed.
    bool expired();
    std::optional<bool> mayHoldGitlink(const std::filesystem::path& index);
    // The value of the environment variable `name` that the command's git sees.
    std::optional<std::string> variable(std::string_view name) const;
    std::filesystem::path includeTarget(std::string_view path,
                                        const std::filesystem::path& includingFile) const;

    bool readFile(const std::filesystem::path& path, int depth);
    // Fails when an include lies in a repository's work tree outside its git directory: a checkout
    // the command makes could put any configuration there, after it was read.
    bool checkIncludesStayOutOfWorkTrees();
    bool followIncludes(const std::vector<GitConfigEntry>& entries,
                        const std::filesystem::path& includingFile, int depth);
    bool followListed(const std::vector<GitConfigEntry>& listed);
    std::optional<std::optional<Repository>> discover();
    bool visit(const Repository& repository, bool top, bool filesListed, bool submodules);
    bool walkModules(const std::filesystem::path& commonDir);
    bool addGitlinks(const Repository& repository, bool top);
    bool addRepository(Repository repository);
    void readAttributes(const std::filesystem::path& path);
    bool fail(std::string reason) {
        error_ = std::move(reason);
        return false;
    }

    ProcessRunner& runner_;
    const ProcessRequest& base_;
    std::chrono::steady_clock::time_point deadline_;
    std::vector<GitConfigEntry> entries_;
    std::set<std::string, std::less<>> attributeDrivers_;
    std::set<std::filesystem::path> readFiles_;
    // Every repository to read, in order, and the one being read.
    std::vector<Repository> pending_;
    std::size_t visiting_ = 0;
    // Every file a configuration includes, read or not (a checkout may bring one that is missing).
    std::vector<std::filesystem::path> includes_;
    std::string error_;
};

} // namespace korvane
