// korvane_match_cli: reads paths, one per line, on standard input and prints those that match the
// query argument, best first, as the side-by-side peers do with their filter options; so that
// bench/compare-peers times a whole process against a whole process. Each path is matched once through
// fuzzyMatch, the entry point for one-off strings.
// Usage: korvane_match_cli [--case-sensitive] QUERY < paths

#include "matcher/matcher.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string readAll(std::FILE* in) {
    std::string data;
    std::vector<char> chunk(1 << 20);
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0;) {
        data.append(chunk.data(), n);
    }
    return data;
}

struct Ranked {
    std::string_view path;
    korvane::MatchResult match;
};

// Higher quality first, then higher score within it; equal matches keep the input order.
bool isBetter(const Ranked& a, const Ranked& b) {
    if (a.match.quality != b.match.quality) {
        return a.match.quality > b.match.quality;
    }
    return a.match.subScore > b.match.subScore;
}

} // namespace

int main(int argc, char** argv) {
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
    const std::string input = readAll(stdin);

    std::vector<Ranked> matches;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string::npos) {
            end = input.size();
        }
        const std::string_view path(input.data() + start, end - start);
        if (auto match = korvane::fuzzyMatch(query, path, caseSensitive)) {
            matches.push_back({path, std::move(*match)});
        }
        start = end + 1;
    }
    std::stable_sort(matches.begin(), matches.end(), isBetter);

    std::string output;
    for (const Ranked& ranked : matches) {
        output.append(ranked.path);
        output.push_back('\n');
    }
    std::fwrite(output.data(), 1, output.size(), stdout);
    return matches.empty() ? 1 : 0;
}
