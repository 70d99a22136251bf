// korvane_match_cli: reads paths, one per line, on standard input and prints those that match the
// query argument, best first, as the side-by-side peers do with their filter options; so that
// bench/compare-peers times a whole process against a whole process. Each path is matched once through
// fuzzyMatch, the entry point for one-off strings.
// Usage: korvane_match_cli [--case-sensitive] QUERY < paths  (exit status 0: matches, 1: none, 2: error)

#include "files/filepathsearchranker.h"
#include "files/pathlist.h"
#include "matcher/matcher.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

// All of standard input, read straight into one buffer: sized once when it is a file, grown by
// doubling when it is a pipe. Nothing when reading fails.
std::optional<std::string> readAll(int fd) {
    struct stat status {};
    const bool isFile = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    std::string data(isFile ? static_cast<std::size_t>(status.st_size) + 1 : std::size_t{1} << 20, '\0');
    std::size_t size = 0;
    for (;;) {
        if (size == data.size()) {
            data.resize(2 * data.size());
        }
        const ssize_t n = read(fd, data.data() + size, data.size() - size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        size += static_cast<std::size_t>(n);
    }
    data.resize(size);
    return data;
}

// What a match is ranked by; its ranges are not printed, so they are not kept.
struct Ranked {
    korvane::MatchQuality quality;
    double subScore;
    std::uint32_t line;
    std::string_view path;
};

// Higher quality first, then higher score within it, then the input order.
bool isBetter(const Ranked& a, const Ranked& b) {
    if (a.quality != b.quality) {
        return a.quality > b.quality;
    }
    if (a.subScore != b.subScore) {
        return a.subScore > b.subScore;
    }
    return a.line < b.line;
}

int rankCommand(int argc, char** argv) {
    std::string file;
    std::string query;
    std::size_t limit = 50;
    bool caseSensitive = false;
    bool loadOnly = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--paths" && i + 1 < argc) {
            file = argv[++i];
        } else if (option == "--query" && i + 1 < argc) {
            query = argv[++i];
        } else if (option == "--limit" && i + 1 < argc) {
            limit = std::strtoul(argv[++i], nullptr, 10);
        } else if (option == "--case-sensitive") {
            caseSensitive = true;
        } else if (option == "--load-only") {
            loadOnly = true;
        } else {
            std::fprintf(stderr, "usage: %s rank --paths FILE --query Q [--limit 50] [--case-sensitive] [--load-only]\n",
                         argv[0]);
            return 2;
        }
    }
    // The file is mapped rather than read: its pages come from the cache without a copy.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 2;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    void* mapped = size == 0 ? nullptr : mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 2;
    }
    // The paths in the order they come, as the peers take them, read where the file is mapped.
    const std::shared_ptr<const void> mapping(mapped, [size](void* bytes) {
        if (bytes != nullptr) {
            ::munmap(bytes, size);
        }
    });
    const auto paths =
        korvane::PathList::overLines(std::string_view(static_cast<const char*>(mapped), size), mapping);
    if (loadOnly) {
        return paths->empty() ? 1 : 0;
    }
    const korvane::FilePathSearchRanker ranker(korvane::SystemClock::shared());
    std::vector<korvane::SearchResult> results;
    if (query.find('/') != std::string::npos) {
        results = ranker.rankSegmentQuery(query, paths, caseSensitive, limit, "/", "projectRelative");
    }
    if (results.empty()) {
        results = ranker.rankPlainQuery(query, paths, caseSensitive, korvane::RecentFilesSnapshot{}, limit, "/", "projectRelative").results;
    }
    std::string output;
    for (const auto& result : results) {
        output.append(result.snippet->label);
        output.push_back('\n');
    }
    std::fwrite(output.data(), 1, output.size(), stdout);
    return results.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "rank") == 0) {
        return rankCommand(argc, argv);
    }
    bool caseSensitive = false;
    int argument = 1;
    if (argument < argc && std::strcmp(argv[argument], "--case-sensitive") == 0) {
        caseSensitive = true;
        ++argument;
    }
    if (argument + 1 != argc) {
        std::fprintf(stderr, "usage: %s [--case-sensitive] QUERY < paths\n", argv[0]);
        return 2;
    }
    const std::string_view query = argv[argument];
    const std::optional<std::string> read = readAll(STDIN_FILENO);
    if (!read) {
        std::perror("korvane_match_cli: standard input");
        return 2;
    }
    const std::string& input = *read;

    std::vector<Ranked> matches;
    std::uint32_t line = 0;
    for (std::size_t start = 0; start < input.size(); ++line) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        const std::string_view path(input.data() + start, end - start);
        if (const auto match = korvane::fuzzyMatch(query, path, caseSensitive)) {
            matches.push_back({match->quality, match->subScore, line, path});
        }
        start = end + 1;
    }
    std::sort(matches.begin(), matches.end(), isBetter);

    std::string output;
    output.reserve(input.size());
    for (const Ranked& ranked : matches) {
        output.append(ranked.path);
        output.push_back('\n');
    }
    if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size() || std::fflush(stdout) != 0) {
        std::perror("korvane_match_cli: standard output");
        return 2;
    }
    return matches.empty() ? 1 : 0;
}
