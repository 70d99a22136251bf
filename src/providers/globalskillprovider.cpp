#include "providers/globalskillprovider.h"

#include "providers/globalskilldiscovery.h"
#include "providers/skillextractor.h"

#include <cstdlib>
#include <pwd.h>
#include <set>
#include <unistd.h>
#include <utility>

namespace korvane {
namespace {

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return {};
}

} // namespace

GlobalSkillProvider::GlobalSkillProvider(std::vector<std::filesystem::path> roots)
    : roots_(std::move(roots)) {}

const std::vector<std::filesystem::path>& GlobalSkillProvider::defaultRoots() {
    static const std::vector<std::filesystem::path> roots = [] {
        const std::string home = homeDirectory().string();
        if (home.empty()) {
            return std::vector<std::filesystem::path>{};
        }
        return std::vector<std::filesystem::path>{home + "/.claude/skills", home + "/.codex/skills"};
    }();
    return roots;
}

std::vector<Snippet> GlobalSkillProvider::scan() const {
    std::vector<Snippet> result;
    std::set<std::string> ids;
    for (const auto& file : GlobalSkillDiscovery::discover(roots_, discoveryDepth)) {
        auto snippet = SkillExtractor::parseSkillFile(file);
        if (!snippet || !ids.insert(snippet->id).second) {
            continue;
        }
        if (!snippet->metadata) {
            snippet->metadata.emplace();
        }
        (*snippet->metadata)["global"] = "true";
        result.push_back(std::move(*snippet));
    }
    return result;
}

void GlobalSkillProvider::store(std::vector<Snippet> snippets) {
    std::lock_guard guard(lock_);
    cachedSnippets_ = std::move(snippets);
    hasScanned_ = true;
}

std::vector<Snippet> GlobalSkillProvider::snippets(const std::string& /*projectRoot*/) {
    bool scanned = false;
    {
        std::lock_guard guard(lock_);
        scanned = hasScanned_;
    }
    if (!scanned) {
        store(scan());
    }
    std::lock_guard guard(lock_);
    return cachedSnippets_;
}

std::vector<Snippet> GlobalSkillProvider::cachedSnippets() {
    std::lock_guard guard(lock_);
    return cachedSnippets_;
}

void GlobalSkillProvider::refresh() {
    store(scan());
}

bool GlobalSkillProvider::hasScanned() {
    std::lock_guard guard(lock_);
    return hasScanned_;
}

} // namespace korvane
