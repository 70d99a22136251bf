#pragma once

#include "providers/fileextractor.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Offers the agent instruction documents and the readme of a project's root as snippets that insert
// the document's name, described by its first meaningful line. Plain value; any thread.
class ProjectDocExtractor final : public FileExtractor {
public:
    static constexpr std::array<std::string_view, 2> documentNames{"CLAUDE.md", "AGENTS.md"};
    static constexpr std::size_t summaryLength = 100;

    explicit ProjectDocExtractor(SnippetSource source = SnippetSource::aiDoc());

    SnippetSource source() const override { return source_; }
    bool matches(std::string_view fileName, std::string_view relativePath) const override;
    // Always one snippet; a document that cannot be read has no description.
    std::vector<Snippet> extract(const std::filesystem::path& file) const override;

    // The first line that is neither blank nor "---", without its leading "#" marks, cut to
    // `summaryLength` characters; read only from a regular file of at most 1 MiB.
    static std::optional<std::string> summary(const std::filesystem::path& file);

private:
    SnippetSource source_;
};

} // namespace korvane
