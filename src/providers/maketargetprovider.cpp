#include "providers/maketargetprovider.h"

#include "base/fileio.h"
#include "base/unicode.h"
#include "providers/filescanner.h"

#include <algorithm>
#include <memory>
#include <set>
#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace korvane {
namespace {

// Compiled once; a pattern is immutable, so matchers made from it may run on any thread at once.
std::unique_ptr<icu::RegexPattern> compile(std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size()))),
        UREGEX_MULTILINE, status));
    return U_SUCCESS(status) ? std::move(compiled) : nullptr;
}

const icu::RegexPattern* pattern(bool taskfile) {
    static const auto target = compile(MakeTargetProvider::targetPattern);
    static const auto task = compile(MakeTargetProvider::taskfilePattern);
    return (taskfile ? task : target).get();
}

} // namespace

std::vector<std::string> MakeTargetProvider::targetNames(std::string_view text, bool taskfile) {
    std::vector<std::string> names;
    const icu::RegexPattern* compiled = pattern(taskfile);
    if (!compiled) {
        return names;
    }
    const icu::UnicodeString input =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(input, status));
    if (U_FAILURE(status)) {
        return names;
    }
    while (matcher->find(status) && U_SUCCESS(status)) {
        std::string name;
        matcher->group(1, status).toUTF8String(name);
        if (U_FAILURE(status)) {
            break;
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<Snippet> MakeTargetProvider::snippets(const std::string& projectRoot) {
    std::vector<Snippet> result;
    std::set<std::string> offered;
    for (const std::string_view fileName : targetFileNames) {
        const auto text = readTextFileInside(projectRoot, std::filesystem::path(projectRoot) / fileName,
                                             FileScanner::sizeLimit);
        if (!text || !isValidUtf8(*text)) {
            continue;
        }
        for (auto& name : targetNames(*text, fileName.starts_with("Taskfile"))) {
            if (std::find(ignoredTargets.begin(), ignoredTargets.end(), name) != ignoredTargets.end() ||
                !offered.insert(name).second) {
                continue;
            }
            Snippet snippet;
            snippet.id = "make:" + name;
            snippet.label = name;
            snippet.expansion = name;
            snippet.source = SnippetSource::makeTarget();
            result.push_back(std::move(snippet));
        }
    }
    return result;
}

} // namespace korvane
