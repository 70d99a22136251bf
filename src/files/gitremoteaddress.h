#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// A remote's fetch URL read the way git reads it to choose the host it contacts: "ssh://", "git://",
// "http://" and "https://" URLs and the short form user "@" host ":" path. Whatever git would hand to a
// transport helper, read as a local path, refuse, or send to a host other than the text appears to name
// (a second "@", an option-like host, escapes in the host, a port out of range, a "@[" that moves git's
// host boundary) reads as no address. A value type; any thread.
struct GitRemoteAddress {
    enum class Transport { ssh, git, http, https };

    Transport transport = Transport::ssh;
    // Letters, digits, "-", "." and "_", not beginning with "-"; or an IPv6 literal in brackets.
    std::string host;
    // Decimal digits of a port from 0 to 65535, when the address names one.
    std::optional<std::string> port;
    // From its leading "/" on, as written, without query or fragment ("/" + path for the short form).
    std::string path;

    static std::optional<GitRemoteAddress> read(std::string_view remote);
};

} // namespace korvane
