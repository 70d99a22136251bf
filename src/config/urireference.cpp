#include "config/urireference.h"

#include "base/unicode.h"

#include <algorithm>
#include <string_view>

namespace korvane {
namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isUnreserved(char c) {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

// Every character is unreserved, a sub-delimiter, one of `extra`, or part of a "%XX" escape.
bool isRunOf(std::string_view text, std::string_view extra) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) {
                return false;
            }
            i += 2;
        } else if (!isUnreserved(c) && !isSubDelim(c) && extra.find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

bool isScheme(std::string_view text) {
    if (text.empty() || !isAlpha(text.front())) {
        return false;
    }
    for (char c : text) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

bool isDecOctet(std::string_view text) {
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text.front() == '0')) {
        return false;
    }
    int value = 0;
    for (char c : text) {
        if (!isDigit(c)) {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

bool isIpv4(std::string_view text) {
    for (int octet = 0; octet < 4; ++octet) {
        const auto dot = text.find('.');
        const bool last = octet == 3;
        if (last != (dot == std::string_view::npos)) {
            return false;
        }
        if (!isDecOctet(text.substr(0, dot))) {
            return false;
        }
        text = last ? std::string_view() : text.substr(dot + 1);
    }
    return true;
}

// Colon-separated 16-bit groups, the last of which may be an IPv4 address counting as two groups.
bool countGroups(std::string_view text, bool allowIpv4, int& count) {
    count = 0;
    if (text.empty()) {
        return true;
    }
    for (;;) {
        const auto colon = text.find(':');
        const std::string_view piece = text.substr(0, colon);
        if (colon == std::string_view::npos && allowIpv4 && piece.find('.') != std::string_view::npos) {
            count += 2;
            return isIpv4(piece);
        }
        if (piece.empty() || piece.size() > 4) {
            return false;
        }
        for (char c : piece) {
            if (!isHex(c)) {
                return false;
            }
        }
        ++count;
        if (colon == std::string_view::npos) {
            return true;
        }
        text = text.substr(colon + 1);
    }
}

bool isIpv6(std::string_view text) {
    const auto elision = text.find("::");
    int left = 0;
    int right = 0;
    if (elision == std::string_view::npos) {
        return countGroups(text, true, left) && left == 8;
    }
    if (text.find("::", elision + 1) != std::string_view::npos) {
        return false;
    }
    return countGroups(text.substr(0, elision), false, left) &&
           countGroups(text.substr(elision + 2), true, right) && left + right <= 7;
}

bool isIpvFuture(std::string_view text) {
    if (text.size() < 4 || (text.front() != 'v' && text.front() != 'V')) {
        return false;
    }
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || dot == 1 || dot + 1 == text.size()) {
        return false;
    }
    for (char c : text.substr(1, dot - 1)) {
        if (!isHex(c)) {
            return false;
        }
    }
    const std::string_view rest = text.substr(dot + 1);
    for (char c : rest) {
        if (!isUnreserved(c) && !isSubDelim(c) && c != ':') {
            return false;
        }
    }
    return true;
}

bool isPort(std::string_view text) {
    for (char c : text) {
        if (!isDigit(c)) {
            return false;
        }
    }
    return true;
}

bool isAuthority(std::string_view text) {
    const auto authority = UriReference::Authority::parse(text);
    return authority && (!authority->userInfo || isRunOf(*authority->userInfo, ":"));
}

} // namespace

std::optional<UriReference::Authority> UriReference::Authority::parse(std::string_view text) {
    Authority authority;
    if (const auto at = text.rfind('@'); at != std::string_view::npos) {
        authority.userInfo = text.substr(0, at);
        text.remove_prefix(at + 1);
    }
    std::size_t hostEnd = 0;
    if (text.starts_with('[')) {
        hostEnd = text.find(']');
        if (hostEnd == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view literal = text.substr(1, hostEnd - 1);
        if (!isIpv6(literal) && !isIpvFuture(literal)) {
            return std::nullopt;
        }
        ++hostEnd;
    } else {
        hostEnd = std::min(text.find(':'), text.size());
        if (!isRunOf(text.substr(0, hostEnd), "")) {
            return std::nullopt;
        }
    }
    authority.host = text.substr(0, hostEnd);
    const std::string_view rest = text.substr(hostEnd);
    if (!rest.empty()) {
        if (rest.front() != ':' || !isPort(rest.substr(1))) {
            return std::nullopt;
        }
        authority.port = rest.substr(1);
    }
    return authority;
}

UriReference UriReference::split(std::string_view text) {
    UriReference uri;
    if (const auto colon = text.find_first_of(":/?#");
        colon != std::string_view::npos && colon > 0 && text[colon] == ':') {
        uri.scheme = text.substr(0, colon);
        text.remove_prefix(colon + 1);
    }
    if (const auto hash = text.find('#'); hash != std::string_view::npos) {
        uri.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    if (const auto question = text.find('?'); question != std::string_view::npos) {
        uri.query = text.substr(question + 1);
        text = text.substr(0, question);
    }
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const auto slash = std::min(text.find('/'), text.size());
        uri.authority = text.substr(0, slash);
        text.remove_prefix(slash);
    }
    uri.path = text;
    return uri;
}

bool isUriWithScheme(std::string_view text) {
    const UriReference uri = UriReference::split(text);
    return uri.scheme && isScheme(*uri.scheme) && (!uri.fragment || isRunOf(*uri.fragment, ":@/?")) &&
           (!uri.query || isRunOf(*uri.query, ":@/?")) && (!uri.authority || isAuthority(*uri.authority)) &&
           isRunOf(uri.path, ":@/");
}

std::string percentDecoded(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() ? asciiHexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? asciiHexValue(text[i + 2]) : -1;
        if (text[i] == '%' && high >= 0 && low >= 0) {
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

} // namespace korvane
