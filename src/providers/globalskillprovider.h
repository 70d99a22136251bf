#pragma once

#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvane {

// The user's own agent skills, read from the skill folders in the home directory once and kept until
// `refresh`, the same for every project. One per process, made by the composition root and handed to
// the scan's factories and the watchers; any thread: the cache is guarded by `lock_`, never held while
// the folders are read.
class GlobalSkillProvider final : public SnippetProvider {
public:
    static constexpr std::int64_t discoveryDepth = 3;

    explicit GlobalSkillProvider(std::vector<std::filesystem::path> roots);

    // "~/.claude/skills" and "~/.codex/skills" of the current user, worked out once.
    static const std::vector<std::filesystem::path>& defaultRoots();

    const std::vector<std::filesystem::path>& roots() const { return roots_; }

    // The stored skills, scanning first when none are stored; the project root is not used.
    std::vector<Snippet> snippets(const std::string& projectRoot) override;
    void refresh();
    // The stored skills as they are, without scanning, also when none were ever stored.
    std::vector<Snippet> cachedSnippets();
    // Reads the skill folders: the first skill of each id in path order, marked "global".
    std::vector<Snippet> scan() const;
    // Whether skills were stored since start, by a scan or a refresh.
    bool hasScanned();

private:
    void store(std::vector<Snippet> snippets);

    std::mutex lock_;
    const std::vector<std::filesystem::path> roots_;
    std::vector<Snippet> cachedSnippets_;
    bool hasScanned_ = false;
};

} // namespace korvane
