#include "files/gitpathquoting.h"

#include "base/controlcharacters.h"
#include "base/unicode.h"

namespace korvane {

std::size_t quotedTokenLength(std::string_view text) {
    if (text.empty() || text.front() != '"') {
        return 0;
    }
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return 0;
}

std::optional<std::string> decodeGitPath(std::string_view printed) {
    if (printed.empty() || printed.front() != '"') {
        return ControlCharacters::holdsControlOrLineBreak(printed) ? std::nullopt
                                                                   : std::optional<std::string>(printed);
    }
    if (quotedTokenLength(printed) != printed.size()) {
        return std::nullopt;
    }
    const std::string_view body = printed.substr(1, printed.size() - 2);
    std::string path;
    path.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\') {
            path.push_back(body[i]);
            continue;
        }
        if (++i == body.size()) {
            return std::nullopt;
        }
        const char escaped = body[i];
        switch (escaped) {
        case 'a': path.push_back('\a'); break;
        case 'b': path.push_back('\b'); break;
        case 't': path.push_back('\t'); break;
        case 'n': path.push_back('\n'); break;
        case 'v': path.push_back('\v'); break;
        case 'f': path.push_back('\f'); break;
        case 'r': path.push_back('\r'); break;
        case '"': path.push_back('"'); break;
        case '\\': path.push_back('\\'); break;
        default: {
            if (escaped < '0' || escaped > '3' || i + 2 >= body.size()) {
                return std::nullopt;
            }
            int value = 0;
            for (std::size_t k = 0; k < 3; ++k) {
                const char digit = body[i + k];
                if (digit < '0' || digit > '7') {
                    return std::nullopt;
                }
                value = value * 8 + (digit - '0');
            }
            path.push_back(static_cast<char>(value));
            i += 2;
        }
        }
    }
    // A name with a control character or line break is never offered.
    if (path.empty() || ControlCharacters::holdsControlOrLineBreak(path)) {
        return std::nullopt;
    }
    return path;
}

} // namespace korvane
