#include "files/gitremoteprovider.h"

#include "base/controlcharacters.h"
#include "base/unicode.h"
#include "config/urireference.h"
#include "files/gitcommandrunner.h"
#include "files/gitremoteaddress.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

namespace korvane {
namespace {

constexpr std::string_view whitespace = " \t\n\r\v\f";
constexpr std::size_t npos = std::string_view::npos;

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

// A host written as a service's host name, or as an SSH alias of it (the name, "-" and a suffix that adds
// no label, so that the whole is no name under another domain), becomes that host name; any other host stays
// as it is.
std::string canonicalHost(std::string_view host) {
    for (const auto& service : services) {
        const std::string_view suffix = host.substr(std::min(host.size(), service.hostName.size()));
        if (host.starts_with(service.hostName) &&
            (suffix.empty() || (suffix.size() > 1 && suffix.starts_with('-') && suffix.find('.') == npos))) {
            return std::string(service.hostName);
        }
    }
    return std::string(host);
}

// The parts of a web address as webURL writes them, or none for any other text.
std::optional<GitRemoteAddress> readWebAddress(const std::string& web) {
    return isUriWithScheme(web) ? GitRemoteAddress::read(web) : std::nullopt;
}

// Percent escapes decoded; the text as it stands when that gives no UTF-8.
std::string decodedIfUtf8(std::string_view text) {
    std::string decoded = percentDecoded(text);
    return isValidUtf8(decoded) ? decoded : std::string(text);
}

const HostingService* serviceOf(const std::string& web) {
    const auto address = readWebAddress(web);
    if (!address) {
        return nullptr;
    }
    for (const auto& service : services) {
        if (address->host.find(service.keyword) != std::string::npos) {
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
    const auto url = runGit({"remote", "get-url", "--end-of-options", name}, root);
    if (!url) {
        return std::nullopt;
    }
    return std::string(trimmedAscii(*url, whitespace));
}

std::optional<std::string> GitRemoteProvider::webURL(std::string_view remote) {
    const auto address = GitRemoteAddress::read(remote);
    if (!address) {
        return std::nullopt;
    }
    std::string_view path = address->path;
    // The link is shown, copied and typed: a path that carries terminal control, a line break or a
    // bidirectional control from the repository's configuration gives none.
    if (ControlCharacters::holdsControlOrLineBreak(path)) {
        return std::nullopt;
    }
    if (path.ends_with(".git")) {
        path.remove_suffix(4);
    }
    // Only an ssh host may be an alias of a service, and a port keeps it from being one.
    const bool alias = address->transport == GitRemoteAddress::Transport::ssh && !address->port;
    std::string web = "https://" + (alias ? canonicalHost(address->host) : address->host);
    if (address->port) {
        web += ":" + *address->port;
    }
    return web + std::string(path);
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
    const auto address = readWebAddress(web);
    if (!address) {
        return std::nullopt;
    }
    const std::string decoded = decodedIfUtf8(trimmedAscii(address->path, "/"));
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
