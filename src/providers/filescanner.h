#pragma once

#include "model/snippet.h"
#include "model/snippetprovider.h"
#include "providers/fileextractor.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Offers a project's files to a list of extractors and collects their snippets. The file list comes
// from git when the root holds a ".git" entry and git can be used, else from a walk of the tree that
// never follows a symbolic link, prunes never-walked and ignored directory names, stops at `maxDepth`
// and after a budget of entries. Only paths that resolve to a regular file of at most 1 MiB reach an
// extractor. Immutable after creation; any thread, several scans at once.
class FileScanner final : public SnippetProvider {
public:
    // Lists the files of a git project relative to its root, as real paths in git's order, and leaves
    // the listing for the file path index; nothing when git cannot be used for the root. It lives with
    // the file search, which builds on this library, so whoever creates the scanner passes it in.
    using GitLister = std::function<std::optional<std::vector<std::string>>(const std::string& root)>;

    static constexpr std::uint64_t sizeLimit = 1048576;
    // Entries a walk looks at before it gives up, so that a root such as a home folder cannot keep a
    // scan busy for minutes.
    static constexpr std::size_t defaultWalkBudget = 100000;
    static constexpr std::array<std::string_view, 2> environmentFileNames{".env", ".env.example"};

    // Directory names that no walk of a project enters, whatever its ignore patterns say.
    static const std::set<std::string>& neverWalkedDirectories();

    FileScanner(std::vector<std::shared_ptr<const FileExtractor>> extractors, std::set<std::string> ignorePatterns,
                std::int64_t maxDepth, GitLister gitLister = {}, std::size_t walkBudget = defaultWalkBudget);

    const std::vector<std::shared_ptr<const FileExtractor>>& extractors() const { return extractors_; }
    const std::set<std::string>& ignorePatterns() const { return ignorePatterns_; }
    std::int64_t maxDepth() const { return maxDepth_; }

    std::vector<Snippet> snippets(const std::string& projectRoot) override { return scan(projectRoot); }

    std::vector<Snippet> scan(const std::string& projectRoot) const;
    // The git path: nothing when git cannot be used.
    std::optional<std::vector<Snippet>> scanListedFiles(const std::string& root) const;
    std::vector<Snippet> walkDirectory(const std::string& root) const;

    // Whether `path` may be handed to an extractor: it resolves, following links, to a regular file
    // of at most `sizeLimit` bytes.
    static bool isExtractable(const std::filesystem::path& path);

private:
    // Offers one entry to every extractor, in order, and hands it to those that claim it when it
    // passes the guard (a regular file of bounded size that lies inside `root` once links are resolved).
    void extractFrom(const std::string& root, const std::filesystem::path& path, std::string_view fileName,
                     std::string_view relativePath, std::vector<Snippet>& into) const;

    const std::vector<std::shared_ptr<const FileExtractor>> extractors_;
    const std::set<std::string> ignorePatterns_;
    const std::int64_t maxDepth_;
    const GitLister gitLister_;
    const std::size_t walkBudget_;
};

} // namespace korvane
