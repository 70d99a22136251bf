#include "files/gitremoteaddress.h"

#include "config/urireference.h"
#include "gitguard/gitnetworkaddress.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::size_t none = std::string_view::npos;

using Transport = GitRemoteAddress::Transport;

// What an authority may carry before its "@".
enum class UserPart {
    // git:// hands the whole authority to the resolver, so a user would become part of the host.
    refused,
    // ssh:// passes user "@" host to ssh as one argument; ssh cannot take an empty user.
    optional,
    // The short form is read only with a user.
    required,
    // http(s):// lets the transfer library take the user information apart.
    any,
};

// "<helper>::<address>": git hands the address to a transport helper program (ext::, fd:: and others).
bool isTransportHelperForm(std::string_view remote) {
    return remote.substr(GitNetworkAddress::schemeLength(remote)).starts_with("::");
}

// scheme "://": git hands any scheme but the ones it speaks itself to a helper of that name.
bool isUrl(std::string_view remote) {
    const std::size_t length = GitNetworkAddress::schemeLength(remote);
    return length > 0 && remote.substr(length).starts_with("://");
}

bool isHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

// A name that every reader (git, ssh, the transfer library, a browser) takes for the same host: no escapes,
// no option-like start. `host` comes from UriReference::Authority::parse, which checked any literal.
bool isPlainHost(std::string_view host) {
    if (host.starts_with('[')) {
        return host.size() > 2 && host[1] != 'v' && host[1] != 'V';
    }
    return !host.empty() && !host.starts_with('-') && std::all_of(host.begin(), host.end(), isHostCharacter);
}

// Digits (checked by the authority parser) that give a port number below 65536.
bool isPortNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) {
        return false;
    }
    long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value <= 65535;
}

// The host and port that user "@" host ":" port leads git's transport to, or none.
std::optional<GitRemoteAddress> readAuthority(std::string_view authority, UserPart users) {
    if (authority.starts_with('-') || std::count(authority.begin(), authority.end(), '@') > 1) {
        return std::nullopt;
    }
    const std::size_t at = authority.find('@');
    const std::string_view user = at == none ? std::string_view() : authority.substr(0, at);
    if (at == none ? users == UserPart::required
                   : users == UserPart::refused || (users != UserPart::any && user.empty())) {
        return std::nullopt;
    }
    const auto parsed = UriReference::Authority::parse(at == none ? authority : authority.substr(at + 1));
    if (!parsed || !isPlainHost(parsed->host)) {
        return std::nullopt;
    }
    GitRemoteAddress address;
    address.host = std::string(parsed->host);
    if (parsed->port) {
        // git looks for the port after the first ":", so after a user with a ":" ssh would be given
        // host ":" port as the host.
        if (users != UserPart::any && user.find(':') != none) {
            return std::nullopt;
        }
        if (!parsed->port->empty()) {
            if (!isPortNumber(*parsed->port)) {
                return std::nullopt;
            }
            address.port = std::string(*parsed->port);
        }
    }
    return address;
}

// The path up to its query or fragment: those often carry tokens and never name the repository.
std::string pathWithoutQuery(std::string_view path) {
    return std::string(path.substr(0, path.find_first_of("?#")));
}

// Where git looks for the ":" or "/" that ends the host: from the start, or, when a "@[" occurs anywhere,
// from the "]" after it. Only a "@[" at the user's "@" is read; any other moves git's boundary into the
// path or the user, and gives none.
std::optional<std::size_t> hostSearchStart(std::string_view text) {
    const std::size_t bracket = text.find("@[");
    if (bracket == none) {
        return 0;
    }
    if (bracket != text.find('@')) {
        return std::nullopt;
    }
    const std::size_t close = text.find(']', bracket);
    return close == none ? 0 : close;
}

// The transfer library refuses an address that holds a space or an ASCII control anywhere in it.
bool holdsSpaceOrAsciiControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
    });
}

std::optional<GitRemoteAddress> httpAddress(std::string_view remote, Transport transport) {
    if (holdsSpaceOrAsciiControl(remote)) {
        return std::nullopt;
    }
    const UriReference uri = UriReference::split(remote);
    auto address = uri.authority ? readAuthority(*uri.authority, UserPart::any) : std::nullopt;
    if (address) {
        address->transport = transport;
        address->path = std::string(uri.path);
    }
    return address;
}

// ssh:// and git://: git decodes escapes first and then takes the host up to the first "/". (git keeps
// "%00" as it is; decoding it too moves no boundary, and any escape before the "/" gives none.)
std::optional<GitRemoteAddress> connectAddress(std::string_view remote, std::size_t prefix,
                                               Transport transport) {
    const std::string_view rest = remote.substr(prefix);
    const std::string decoded = percentDecoded(rest);
    const auto start = hostSearchStart(decoded);
    const std::size_t slash = start ? decoded.find('/', *start) : none;
    // Without a path git refuses the address; an escape in the host would name another host than it reads.
    if (slash == none || rest.substr(0, slash + 1).find('%') != none) {
        return std::nullopt;
    }
    auto address = readAuthority(rest.substr(0, slash),
                                 transport == Transport::ssh ? UserPart::optional : UserPart::refused);
    if (address) {
        address->transport = transport;
        address->path = pathWithoutQuery(rest.substr(slash));
    }
    return address;
}

// user "@" host ":" path, which git reads as an ssh address unless a "/" comes before the first ":".
std::optional<GitRemoteAddress> shortFormAddress(std::string_view remote) {
    const auto start = hostSearchStart(remote);
    const std::size_t colon = start ? remote.find(':', *start) : none;
    if (colon == none || remote.find('/') < remote.find(':')) {
        return std::nullopt;
    }
    auto address = readAuthority(remote.substr(0, colon), UserPart::required);
    if (address) {
        address->transport = Transport::ssh;
        address->path = "/" + pathWithoutQuery(remote.substr(colon + 1));
    }
    return address;
}

} // namespace

std::optional<GitRemoteAddress> GitRemoteAddress::read(std::string_view remote) {
    if (isTransportHelperForm(remote)) {
        return std::nullopt;
    }
    if (remote.starts_with("https://")) {
        return httpAddress(remote, Transport::https);
    }
    if (remote.starts_with("http://")) {
        return httpAddress(remote, Transport::http);
    }
    if (remote.starts_with("ssh://")) {
        return connectAddress(remote, std::string_view("ssh://").size(), Transport::ssh);
    }
    if (remote.starts_with("git://")) {
        return connectAddress(remote, std::string_view("git://").size(), Transport::git);
    }
    return isUrl(remote) ? std::nullopt : shortFormAddress(remote);
}

} // namespace korvane
