#pragma once

#include "providers/fileextractor.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace korvane {

// Turns an agent skill file ("SKILL.md" below a skills folder of the project) into a snippet named
// by the file's front matter, or else by its folder. Plain value; any thread.
class SkillExtractor final : public FileExtractor {
public:
    explicit SkillExtractor(SnippetSource source = SnippetSource::claudeSkill());

    SnippetSource source() const override { return source_; }
    bool matches(std::string_view fileName, std::string_view relativePath) const override;
    std::vector<Snippet> extract(const std::filesystem::path& file) const override;

    // The skill of one file; read only when it is a regular file of at most 1 MiB.
    static std::optional<Snippet> parseSkillFile(const std::filesystem::path& file);
    // The skill named after the folder that holds the file, unless that folder's name says nothing.
    static std::optional<Snippet> fallbackSnippet(const std::filesystem::path& file);

private:
    SnippetSource source_;
};

} // namespace korvane
