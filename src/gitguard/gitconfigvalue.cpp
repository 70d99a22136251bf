#include "gitguard/gitconfigvalue.h"

#include "gitguard/gitnetworkaddress.h"
#include "gitguard/pathinfolder.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::string_view shellSyntax = "$`;|&<>()'\"\\\n\r";
constexpr std::string_view wordSpace = " \t\v\f";
constexpr std::string_view partSeparators = "=:,";

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
template <typename Each>
std::optional<std::string> eachPart(std::string_view value, Each each) {
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

// The absolute path `part` names, "~/…" from `home`; none where it names none or `home` is not known.
std::optional<std::string> absoluteOf(std::string_view part, std::string_view home) {
    if (part.starts_with('/')) {
        return std::string(part);
    }
    if (inHome(part) && home.starts_with('/')) {
        return std::string(home) + std::string(part.substr(1));
    }
    return std::nullopt;
}

// Why one part of a word may name a program or file of `folders`.
std::optional<std::string> whyPartMayNameFolder(std::string_view part, bool relativeCounts,
                                                const GitConfigValue::Folders& folders,
                                                std::string_view home) {
    if (const auto absolute = absoluteOf(part, home)) {
        if (const auto* folder = PathInFolder::folderLedInto(*absolute, folders())) {
            return "a path that may lead into " + folder->string();
        }
        return std::nullopt;
    }
    if (inHome(part)) {
        return "a path in a home folder that is not known";
    }
    if (relativeCounts && (part == "." || part == ".." || part.find('/') != std::string_view::npos)) {
        return "a relative path, which may name a program or file of the folder";
    }
    return std::nullopt;
}

} // namespace

bool GitConfigValue::holdsShellSyntax(std::string_view value) {
    return value.find_first_of(shellSyntax) != std::string_view::npos;
}

std::optional<std::string> GitConfigValue::whyMayNameFolder(std::string_view value, const Folders& folders,
                                                            std::string_view home) {
    if (holdsShellSyntax(value)) {
        return std::string("shell syntax, which a program that reads it may run");
    }
    return eachPart(value, [&](std::string_view part, bool relativeCounts) {
        return whyPartMayNameFolder(part, relativeCounts, folders, home);
    });
}

std::vector<std::string> GitConfigValue::absolutePaths(std::string_view value, std::string_view home) {
    std::vector<std::string> paths;
    if (!holdsShellSyntax(value)) {
        eachPart(value, [&](std::string_view part, bool) -> std::optional<std::string> {
            if (auto absolute = absoluteOf(part, home)) {
                paths.push_back(std::move(*absolute));
            }
            return std::nullopt;
        });
    }
    return paths;
}

} // namespace korvane
