#include "gitguard/gitconfigvalue.h"

#include "gitguard/gitnetworkaddress.h"
#include "gitguard/pathinfolder.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::string_view shellSyntax = "$`;|&<>()'\"\\\n\r";
constexpr std::string_view wordSpace = " \t\v\f";
constexpr std::string_view partSeparators = "=:,";
// What makes a word a pattern for a shell that expands it: a glob, or a brace expansion.
constexpr std::string_view patternCharacters = "*?[{";

// Whether `word` is an address with a scheme other than "file", which names no path here.
bool isWebAddress(std::string_view word) {
    const std::size_t scheme = GitNetworkAddress::schemeLength(word);
    return scheme > 0 && word.substr(scheme).starts_with("://") && word.substr(0, scheme) != "file";
}

// Calls `each` with every non-empty piece of `text` between characters of `separators`, until it
// gives a reason.
template <typename Each>
std::optional<std::string> eachPiece(std::string_view text, std::string_view separators, Each each) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of(separators), text.size());
        if (end > 0) {
            if (auto why = each(text.substr(0, end))) {
                return why;
            }
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return std::nullopt;
}

// Calls `each` with every part of `value` that may be a path, and whether a relative one counts there
// (not in ssh's "host:path", whose path is the host's), until it gives a reason: each word of the
// value but a web address, and each part of a word after "=", ":" or ",".
template <typename Each> std::optional<std::string> eachPart(std::string_view value, Each each) {
    return eachPiece(value, wordSpace, [&](std::string_view word) -> std::optional<std::string> {
        if (isWebAddress(word)) {
            return std::nullopt;
        }
        // ssh's "host:path", unless what comes before the colon is an option or a list.
        const bool sshAddress = GitNetworkAddress::overTheNetwork(word) &&
                                word.find_first_of("=,") > word.find(':') && !word.starts_with('-');
        return eachPiece(word, partSeparators,
                         [&](std::string_view part) { return each(part, !sshAddress); });
    });
}

bool inHome(std::string_view part) {
    return part == "~" || part.starts_with("~/");
}

bool isAbsolute(std::string_view part) {
    return part.starts_with('/') || inHome(part);
}

bool isPattern(std::string_view part) {
    return part.find_first_of(patternCharacters) != std::string_view::npos;
}

} // namespace

bool GitConfigValue::holdsShellSyntax(std::string_view value) {
    return value.find_first_of(shellSyntax) != std::string_view::npos;
}

std::optional<std::string> GitConfigValue::whyMayNameFolder(std::string_view value,
                                                            const PathJudge& judgePath) {
    if (holdsShellSyntax(value)) {
        return std::string("shell syntax, which a program that reads it may run");
    }
    return eachPart(value, [&](std::string_view part, bool relativeCounts) -> std::optional<std::string> {
        if (isAbsolute(part)) {
            return judgePath(part);
        }
        if (relativeCounts && (part == "." || part == ".." || part.find('/') != std::string_view::npos)) {
            return "a relative path, which may name a program or file of the folder";
        }
        return std::nullopt;
    });
}

void GitConfigValue::eachPath(std::string_view value, const std::function<bool(std::string_view)>& each) {
    if (holdsShellSyntax(value)) {
        return;
    }
    eachPart(value, [&](std::string_view part, bool) -> std::optional<std::string> {
        if (isAbsolute(part) && !each(part)) {
            return std::string();
        }
        return std::nullopt;
    });
}

std::optional<std::string> GitConfigValue::followed(std::string_view written, std::string_view home) {
    std::string path;
    if (written.starts_with('/')) {
        path = written;
    } else if (inHome(written) && home.starts_with('/')) {
        path = std::string(home) + std::string(written.substr(1));
    } else {
        return std::nullopt;
    }
    // Every path a pattern stands for lies below the folders written out before its first pattern
    // character.
    const std::size_t pattern = path.find_first_of(patternCharacters);
    if (pattern != std::string::npos) {
        path.resize(std::max<std::size_t>(path.rfind('/', pattern), 1));
    }
    return path;
}

std::optional<std::string> GitConfigValue::whyPathMayLeadInto(std::string_view written,
                                                              const Folders& folders, std::string_view home) {
    const auto path = followed(written, home);
    if (!path) {
        return std::string("a path in a home folder that is not known");
    }
    const auto& all = folders();
    if (const auto* folder = PathInFolder::folderLedInto(*path, all)) {
        return (isPattern(written) ? "a pattern that may lead into " : "a path that may lead into ") +
               folder->string();
    }
    if (!isPattern(written)) {
        return std::nullopt;
    }
    // A pattern's folders hold the folder where it lies below them, as written or as the kernel
    // resolves them.
    const std::string normal = std::filesystem::path(*path).lexically_normal().native();
    const std::string resolved = PathInFolder::resolved(*path).native();
    for (const auto& folder : all) {
        if (PathInFolder::inside(folder.native(), normal) ||
            PathInFolder::inside(folder.native(), resolved)) {
            return "a pattern whose folders hold " + folder.string();
        }
    }
    return std::nullopt;
}

} // namespace korvane
