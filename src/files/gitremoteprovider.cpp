#include "files/gitremoteprovider.h"

#include "base/unicode.h"
#include "config/urireference.h"
#include "files/gitcommandrunner.h"

#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

namespace korvane {
namespace {

constexpr std::string_view whitespace = " \t\n\r\v\f";

// The hosting services whose issue and pull-request pages are known, in the order they are tested.
struct HostingService {
    std::string_view keyword;
    std::string_view hostName;
    std::string_view issuesPath;
    std::string_view pullRequestsPath;
};

constexpr std::array<HostingService, 3> services{{
    {"github", "github.com", "/issues", "/pulls"},
    {"gitlab", "gitlab.com", "/-/issues", "/-/merge_requests"},
    {"bitbucket", "bitbucket.org", "/issues", "/pull-requests"},
}};

// A host written as a service's host name, or as an SSH alias of it (the name, "-" and a suffix),
// becomes that host name; any other host, also one with a port, stays as it is.
std::string canonicalHost(std::string_view host) {
    for (const auto& service : services) {
        if (host == service.hostName ||
            (host.starts_with(service.hostName) && host.substr(service.hostName.size()).starts_with("-"))) {
            return std::string(service.hostName);
        }
    }
    return std::string(host);
}

// Where the authority of "scheme://authority/path" begins and ends, or none without "://".
std::optional<std::pair<std::size_t, std::size_t>> authorityBounds(std::string_view url) {
    const std::size_t separator = url.find("://");
    if (separator == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t begin = separator + 3;
    const std::size_t end = url.find_first_of("/?#", begin);
    return std::pair{begin, end == std::string_view::npos ? url.size() : end};
}

// `url` without the user information of its authority, which may hold a password or an access token.
std::string withoutUserInfo(std::string url) {
    if (const auto bounds = authorityBounds(url)) {
        const std::string_view authority =
            std::string_view(url).substr(bounds->first, bounds->second - bounds->first);
        if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
            url.erase(bounds->first, at + 1);
        }
    }
    return url;
}

// The host of an absolute URL as written (case kept), without user information and port.
std::optional<std::string> hostOf(const std::string& url) {
    if (!isUriWithScheme(url)) {
        return std::nullopt;
    }
    const auto bounds = authorityBounds(url);
    if (!bounds) {
        return std::nullopt;
    }
    std::string_view authority = std::string_view(url).substr(bounds->first, bounds->second - bounds->first);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority.remove_prefix(at + 1);
    }
    if (authority.starts_with("[")) {
        const std::size_t close = authority.find(']');
        authority = close == std::string_view::npos ? std::string_view() : authority.substr(0, close + 1);
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        authority = authority.substr(0, colon);
    }
    if (authority.empty()) {
        return std::nullopt;
    }
    return std::string(authority);
}

// Percent escapes decoded; the text as it stands when that gives no UTF-8.
std::string percentDecoded(std::string_view text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && asciiHexValue(text[i + 1]) >= 0 &&
            asciiHexValue(text[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(asciiHexValue(text[i + 1]) * 16 + asciiHexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return isValidUtf8(decoded) ? decoded : std::string(text);
}

const HostingService* serviceOf(const std::string& web) {
    const auto host = hostOf(web);
    if (!host) {
        return nullptr;
    }
    for (const auto& service : services) {
        if (host->find(service.keyword) != std::string::npos) {
            return &service;
        }
    }
    return nullptr;
}

} // namespace

GitRemoteProvider::GitRemoteProvider(CommandRunner runGit)
    : runGit_(std::move(runGit)) {}

std::optional<std::string> GitRemoteProvider::runGit(const std::vector<std::string>& arguments,
                                                     const std::string& root) const {
    if (!runGit_) {
        return std::nullopt;
    }
    const auto lines = runGit_(arguments, root, gitTimeout);
    return lines ? std::optional<std::string>(joinedLines(*lines)) : std::nullopt;
}

std::optional<std::string> GitRemoteProvider::originURL(const std::string& root) const {
    if (const auto origin = runGit({"remote", "get-url", "origin"}, root)) {
        const std::string_view trimmed = trimmedAscii(*origin, whitespace);
        if (!trimmed.empty()) {
            return std::string(trimmed);
        }
    }
    const auto remotes = runGit({"remote"}, root);
    if (!remotes) {
        return std::nullopt;
    }
    std::string name;
    std::string_view rest = *remotes;
    while (!rest.empty() && name.empty()) {
        const std::size_t end = rest.find('\n');
        name = std::string(trimmedAscii(rest.substr(0, end), " \t"));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    if (name.empty()) {
        return std::nullopt;
    }
    const auto url = runGit({"remote", "get-url", name}, root);
    if (!url) {
        return std::nullopt;
    }
    return std::string(trimmedAscii(*url, whitespace));
}

std::optional<std::string> GitRemoteProvider::webURL(std::string_view written) {
    // Secrets go before anything else is read: the user information (a password or token, which may
    // itself hold "?" or "#", so the authority runs to the first "/"), then the query and fragment
    // ("?access_token=...").
    std::string bare(written);
    if (const std::size_t separator = bare.find("://"); separator != std::string::npos) {
        const std::size_t begin = separator + 3;
        const std::size_t end = std::min(bare.find('/', begin), bare.size());
        if (const std::size_t at = bare.rfind('@', end); at != std::string::npos && at >= begin) {
            bare.erase(begin, at + 1 - begin);
        }
    }
    bare.erase(std::min(bare.find_first_of("?#"), bare.size()));
    std::string_view remote = bare;
    if (remote.ends_with(".git")) {
        remote.remove_suffix(4);
    }
    if (remote.starts_with("https://")) {
        return withoutUserInfo(std::string(remote));
    }
    const bool schemed =
        remote.starts_with("ssh://") || remote.starts_with("git://") || remote.starts_with("http://");
    if (!schemed) {
        // The short form user@host:path.
        const std::size_t at = remote.find('@');
        if (at == std::string_view::npos) {
            return std::nullopt;
        }
        const std::size_t colon = remote.find(':', at + 1);
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        return withoutUserInfo("https://" + canonicalHost(remote.substr(at + 1, colon - at - 1)) + "/" +
                               std::string(remote.substr(colon + 1)));
    }
    if (remote.starts_with("ssh://")) {
        std::string_view rest = remote.substr(6);
        if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
            rest.remove_prefix(at + 1);
        }
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) {
            return withoutUserInfo("https://" + std::string(rest));
        }
        return withoutUserInfo("https://" + canonicalHost(rest.substr(0, slash)) +
                               std::string(rest.substr(slash)));
    }
    // git:// and http://: only the scheme changes.
    return withoutUserInfo("https://" + std::string(remote.substr(remote.find("://") + 3)));
}

std::optional<std::string> GitRemoteProvider::issuesURL(const std::string& web) {
    const HostingService* service = serviceOf(web);
    return service ? std::optional<std::string>(web + std::string(service->issuesPath)) : std::nullopt;
}

std::optional<std::string> GitRemoteProvider::pullRequestsURL(const std::string& web) {
    const HostingService* service = serviceOf(web);
    return service ? std::optional<std::string>(web + std::string(service->pullRequestsPath)) : std::nullopt;
}

std::optional<std::string> GitRemoteProvider::repositoryPath(const std::string& web) {
    if (!hostOf(web)) {
        return std::nullopt;
    }
    const auto bounds = authorityBounds(web);
    std::string_view path = std::string_view(web).substr(bounds->second);
    path = path.substr(0, path.find_first_of("?#"));
    const std::string decoded = percentDecoded(trimmedAscii(path, "/"));
    const std::string_view trimmed = trimmedAscii(decoded, "/");
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return std::string(trimmed);
}

std::vector<Snippet> GitRemoteProvider::snippets(const std::string& root) {
    std::error_code error;
    if (!std::filesystem::exists(
            std::filesystem::symlink_status(std::filesystem::path(root) / ".git", error))) {
        return {};
    }
    const auto remote = originURL(root);
    if (!remote) {
        return {};
    }
    const auto web = webURL(*remote);
    if (!web) {
        return {};
    }
    const auto link = [](std::string id, std::string label, std::string description, std::string url) {
        Snippet snippet;
        snippet.id = std::move(id);
        snippet.label = std::move(label);
        snippet.source = SnippetSource::gitRemote();
        snippet.description = std::move(description);
        snippet.url = std::move(url);
        return snippet;
    };
    std::vector<Snippet> links;
    links.push_back(link("git:remote:origin", "repo-origin", "Git remote origin", *web));
    links.back().displayName = repositoryPath(*web);
    if (auto issues = issuesURL(*web)) {
        links.push_back(link("git:remote:issues", "issues", "Repository issues", std::move(*issues)));
    }
    if (auto pulls = pullRequestsURL(*web)) {
        links.push_back(link("git:remote:prs", "prs", "Pull requests", std::move(*pulls)));
    }
    return links;
}

} // namespace korvane
