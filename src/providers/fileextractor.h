#pragma once

#include "model/snippet.h"
#include "model/snippetsource.h"

#include <filesystem>
#include <string_view>
#include <vector>

namespace korvane {

// Turns files of a project that it claims by name into snippets. Implementations hold no mutable
// state and run on whichever thread scans, possibly several at once.
class FileExtractor {
public:
    virtual ~FileExtractor() = default;

    virtual SnippetSource source() const = 0;
    // Whether the file is claimed, decided from its name and its "/"-separated path relative to the
    // project root alone, without touching the file system.
    virtual bool matches(std::string_view fileName, std::string_view relativePath) const = 0;
    // The snippets of one claimed file, given by its absolute path; never fails, an unreadable file
    // is the extractor's own business.
    virtual std::vector<Snippet> extract(const std::filesystem::path& file) const = 0;
};

} // namespace korvane
