#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace korvane {

// Finds the user's own agent skill files ("SKILL.md") below a list of skill folders, breadth first to
// a depth limit, visiting every directory once by its resolved path so that link loops end. Only
// regular files of at most 1 MiB are taken. Stateless; any thread.
class GlobalSkillDiscovery {
public:
    struct PendingDirectory {
        std::filesystem::path url;
        std::int64_t depth = 0;
    };

    // The skill files below `roots`, resolved and ordered by path.
    static std::vector<std::filesystem::path> discover(const std::vector<std::filesystem::path>& roots,
                                                       std::int64_t maxDepth);
};

} // namespace korvane
