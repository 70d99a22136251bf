#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// A URI reference split into its five parts as RFC 3986 (appendix B) splits any string: the scheme ends at
// the first ":" before any "/", "?" or "#", the authority follows "//" and ends at the first "/", "?" or
// "#", the query follows the first "?" and the fragment the first "#". A part whose delimiter is missing is
// absent. The parts are views into the text, unchecked; any thread.
struct UriReference {
    // An authority split at its last "@" (user information) and at the ":" before the port, when the host
    // is a registered name, an IP literal in brackets or empty, and the port is digits or empty.
    struct Authority {
        std::optional<std::string_view> userInfo;
        std::string_view host; // as written, an IP literal with its brackets
        std::optional<std::string_view> port;

        static std::optional<Authority> parse(std::string_view authority);
    };

    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;

    static UriReference split(std::string_view text);
};

// True when `text` is a URI reference that carries a non-empty scheme, that is an absolute URI:
// scheme ":" hier-part ["?" query] ["#" fragment], with only the characters URIs allow
// (non-ASCII characters must be percent-encoded).
bool isUriWithScheme(std::string_view text);

// `text` with every "%XX" escape replaced by the byte it stands for, whatever that byte is; anything
// else, a "%" without two hex digits after it included, as it stands.
std::string percentDecoded(std::string_view text);

} // namespace korvane
