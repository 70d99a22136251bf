#pragma once

#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Offers the targets of the Makefile, the recipes of the justfile and the tasks of the Taskfile.yml
// in a project's root, each name once, in the order found. Stateless; any thread.
class MakeTargetProvider final : public SnippetProvider {
public:
    static constexpr std::array<std::string_view, 6> targetFileNames{"Makefile", "makefile", "GNUmakefile",
                                                                     "justfile", "Justfile", "Taskfile.yml"};
    static constexpr std::array<std::string_view, 4> ignoredTargets{"PHONY", "FORCE", "DEFAULT_GOAL", "SUFFIXES"};
    static constexpr std::string_view targetPattern = R"(^([a-zA-Z_][a-zA-Z0-9_-]*)\s*:)";
    static constexpr std::string_view taskfilePattern = R"(^  ([a-zA-Z_][a-zA-Z0-9_-]*):)";

    std::vector<Snippet> snippets(const std::string& projectRoot) override;

    // The names that `taskfilePattern` (for a task file) or `targetPattern` captures in `text`, in order.
    static std::vector<std::string> targetNames(std::string_view text, bool taskfile);
};

} // namespace korvane
