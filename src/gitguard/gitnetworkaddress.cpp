#include "gitguard/gitnetworkaddress.h"

#include <algorithm>

namespace korvane {
namespace {

// The schemes git goes over the network for, spelt as git matches them (with case).
constexpr std::string_view networkSchemes[] = {"https://", "http://",    "ftps://",    "ftp://",
                                               "ssh://",   "git+ssh://", "ssh+git://", "git://"};

bool isSchemeCharacter(char c, bool first) {
    const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    return alphanumeric || (!first && (c == '+' || c == '-' || c == '.'));
}

} // namespace

bool GitNetworkAddress::overTheNetwork(std::string_view address) {
    if (address.substr(schemeLength(address)).starts_with("::")) {
        return false;
    }
    // git reads what comes before the first "://" as the scheme, and fails where it knows none.
    if (address.find("://") != std::string_view::npos) {
        return std::any_of(std::begin(networkSchemes), std::end(networkSchemes),
                           [&](std::string_view scheme) { return address.starts_with(scheme); });
    }
    // Anything else is a path, unless a colon comes before the first slash: ssh's host:path.
    const std::size_t colon = address.find(':');
    return colon != std::string_view::npos && colon < address.find('/');
}

std::size_t GitNetworkAddress::schemeLength(std::string_view address) {
    std::size_t length = 0;
    while (length < address.size() && isSchemeCharacter(address[length], length == 0)) {
        ++length;
    }
    return length;
}

bool GitNetworkAddress::mayNameRemote(std::string_view value) {
    return !value.empty() && value != "." && value != "..";
}

} // namespace korvane
