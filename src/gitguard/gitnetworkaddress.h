#pragma once

#include <cstddef>
#include <string_view>

namespace korvane {

// A remote address as git reads it, to tell where a push or a fetch goes. git hands "<helper>::<address>"
// and an address of a scheme it does not know to a remote helper, goes to a path or a "file://" address
// with its local transport (which starts git in that repository without the settings it was given, so
// that its hooks run), and to the rest over ssh, its daemon or its own http and ftp helpers.
// Stateless; any thread.
class GitNetworkAddress {
public:
    // Whether git goes over the network for `address`: one of its own network schemes, or ssh's
    // "host:path" (a colon before any slash). Not for a path, a file address, a remote helper's address
    // or a scheme git does not know.
    static bool overTheNetwork(std::string_view address);

    // Whether git may take `value` as the name of a remote rather than as an address: not empty and not
    // "." or "..". A name with a slash too names a remote where the configuration gives it an address.
    static bool mayNameRemote(std::string_view value);

    // How many characters at the front of `address` git could read as a scheme or a helper's name.
    static std::size_t schemeLength(std::string_view address);
};

} // namespace korvane
