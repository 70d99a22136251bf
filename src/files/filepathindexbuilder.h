#pragma once

#include "base/clock.h"
#include "files/commandrunner.h"
#include "files/gitlsfilesbroker.h"

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Lists a project's files relative to its root: from a git listing the project scan has just left with
// the broker, else from git itself, else from a bounded walk of the file system that never follows a
// symbolic link; with a git listing the configured include paths are walked and added. Git's quoting
// is decoded and names that are not UTF-8 are left out, so every listed path is a real one. A fresh
// value per build; `build` blocks the calling thread and never throws.
class FilePathIndexBuilder {
public:
    struct BuildResult {
        std::vector<std::string> relativePaths;
        std::vector<std::string> recentByMtime;
        bool wasTruncated = false;
        bool usedGit = false;
        // git was asked for the list and failed or ran out of time; the walk stood in.
        bool gitFailed = false;
        // Why, when git failed.
        GitFailure gitFailure = GitFailure::failed;
        // The list was the one the project scan left with the broker, read before this build began.
        bool fromBroker = false;
        std::optional<double> gitLsFilesMs;
        std::optional<double> fileManagerMs;
        double totalMs = 0;
    };

    // What a walk found.
    struct WalkResult {
        std::vector<std::string> paths;
        std::vector<std::string> recentPaths;
        bool truncated = false;
    };

    static constexpr std::size_t maxFiles = 50000;
    static constexpr double brokerMaxAge = 1.0;
    static constexpr double recentWindow = 604800;
    static constexpr std::size_t recentListLength = 15;
    static constexpr std::size_t depthLimit = 10;
    static constexpr std::size_t includePathsConsidered = 10;
    static constexpr double timeoutShare = 0.9;

    static const std::set<std::string>& largeDirectoryNames();
    // The directory names the root walk never enters, shared with the project's file scanner.
    static const std::set<std::string>& neverWalkedDirectories();

    CommandRunner commandRunner;
    // Where the project scan leaves its listings; none: git always lists.
    GitLsFilesBroker* broker = nullptr;
    const Clock* clock = &SystemClock::shared();
    // The category of every line the build writes.
    std::string logger = "FilePathProvider.Performance";
    double gitTimeout = 5.0;

    BuildResult build(const std::string& root, const std::vector<std::string>& includePaths) const;

    WalkResult walkFileManager(const std::string& root) const;
    // Whether that walk enters the folder `name`, `depth` levels below the root (1 for the root's own).
    static bool walkEnters(std::string_view name, std::size_t depth);
    WalkResult collectIncludePaths(const std::vector<std::string>& includePaths, const std::string& root,
                                   std::size_t listedCount, const std::set<std::string>& listed) const;

    // Decodes git's quoting of each listed path, leaving out what is not a UTF-8 path.
    static std::vector<std::string> decodeListing(std::vector<std::string> lines);
};

} // namespace korvane
