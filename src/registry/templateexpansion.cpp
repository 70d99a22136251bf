#include "registry/templateexpansion.h"

#include "base/clock.h"
#include "platform/pasteboard.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>
#include <uuid/uuid.h>
#include <vector>

namespace korvane {
namespace {

constexpr int kMaxDepth = 9;
// What one call of the resolver costs in work bytes, whether or not it knows the name.
constexpr std::size_t kResolverCallCost = 64;

// White space around a name: the tab and every space separator (U+0020, no-break space, the
// typographic spaces, ideographic space and the others of category Zs). Line breaks are not.
bool isBlank(UChar32 c) {
    return c == '\t' || c == ' ' || (c > 0x7F && u_charType(c) == U_SPACE_SEPARATOR);
}

std::string_view trimmed(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) {
        return text; // no placeholder name is this long; ICU's offsets are 32-bit
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t start = 0;
    while (start < length) {
        std::int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (!isBlank(c)) {
            break;
        }
        start = next;
    }
    std::int32_t end = length;
    while (end > start) {
        std::int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, start, previous, c);
        if (!isBlank(c)) {
            break;
        }
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::string formatDate(std::chrono::system_clock::time_point instant, std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    const auto icuPattern =
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    icu::SimpleDateFormat formatter(icuPattern, icu::Locale::getDefault(), status);
    if (U_FAILURE(status)) {
        return {};
    }
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch());
    icu::UnicodeString formatted;
    formatter.format(static_cast<UDate>(millis.count()), formatted);
    std::string result;
    formatted.toUTF8String(result);
    return result;
}

std::optional<std::string> builtInPlaceholder(std::string_view name,
                                              std::chrono::system_clock::time_point instant,
                                              const TemplateProviders& providers) {
    if (name == "date") {
        return formatDate(instant, "yyyy-MM-dd");
    }
    if (name.starts_with("date:")) {
        return formatDate(instant, trimmed(name.substr(5)));
    }
    if (name == "time") {
        return formatDate(instant, "HH:mm");
    }
    if (name.starts_with("time:")) {
        return formatDate(instant, trimmed(name.substr(5)));
    }
    if (name == "clipboard") {
        return providers.clipboard ? providers.clipboard() : std::string();
    }
    if (name == "uuid") {
        return providers.uuid ? providers.uuid() : makeUuidString();
    }
    return std::nullopt;
}

// One top-level expansion: the budgets and the names being expanded are shared by every resolver
// text expanded below it, so the limits hold for the whole call. Lives for one expandTemplate call.
class Expander {
public:
    Expander(const TemplateProviders& providers, const TemplateResolver& resolver,
             const TemplateLimits& limits, const std::set<std::string>& expandingNames, int topDepth)
        : providers_(providers)
        , resolver_(resolver)
        , topDepth_(topDepth)
        , outputBytesLeft_(limits.maxOutputBytes)
        , workBytesLeft_(limits.maxWorkBytes)
        , names_(expandingNames.begin(), expandingNames.end()) {}

    // Appends `text` to `out` with its placeholders replaced.
    void expand(std::string& out, std::string_view text, int depth) {
        if (depth > kMaxDepth || text.find("{{") == std::string_view::npos) {
            append(out, text, depth);
            return;
        }
        std::optional<std::chrono::system_clock::time_point> instant;
        std::size_t position = 0;
        for (;;) {
            const auto open = text.find("{{", position);
            if (open == std::string_view::npos) {
                break;
            }
            append(out, text.substr(position, open - position), depth);
            const auto close = text.find("}}", open + 2);
            if (close == std::string_view::npos) {
                position = open;
                break;
            }
            const auto name = trimmed(text.substr(open + 2, close - open - 2));
            if (!appendReplacement(out, name, depth, instant)) {
                append(out, text.substr(open, close + 2 - open), depth);
            }
            position = close + 2;
        }
        append(out, text.substr(position), depth);
    }

private:
    // Appends what the placeholder `name` stands for; false when it is to stay as written.
    bool appendReplacement(std::string& out, std::string_view name, int depth,
                           std::optional<std::chrono::system_clock::time_point>& instant) {
        if (outputBytesLeft_ == 0) {
            return false;
        }
        if (!instant) {
            // Every date and time placeholder of one text shows the same instant.
            instant = providers_.now ? providers_.now() : std::chrono::system_clock::now();
        }
        if (auto text = builtInPlaceholder(name, *instant, providers_)) {
            out += *text;
            spendOutput(text->size());
            return true;
        }
        if (!resolver_ || isExpanding(name) || workBytesLeft_ < kResolverCallCost) {
            return false;
        }
        workBytesLeft_ -= kResolverCallCost;
        std::string key(name);
        const auto resolved = resolver_(key);
        if (!resolved || resolved->size() > workBytesLeft_) {
            return false;
        }
        workBytesLeft_ -= resolved->size();
        names_.push_back(std::move(key));
        expand(out, *resolved, depth + 1);
        names_.pop_back();
        return true;
    }

    // Text copied from the top-level text costs nothing; everything a resolver text brings is growth.
    void append(std::string& out, std::string_view text, int depth) {
        out += text;
        if (depth > topDepth_) {
            spendOutput(text.size());
        }
    }

    void spendOutput(std::size_t bytes) { outputBytesLeft_ -= std::min(outputBytesLeft_, bytes); }

    bool isExpanding(std::string_view name) const {
        return std::find(names_.begin(), names_.end(), name) != names_.end();
    }

    const TemplateProviders& providers_;
    const TemplateResolver& resolver_;
    const int topDepth_;
    std::size_t outputBytesLeft_;
    std::size_t workBytesLeft_;
    // The resolver names whose texts are being expanded, outermost first.
    std::vector<std::string> names_;
};

} // namespace

std::string makeUuidString() {
    uuid_t bytes;
    uuid_generate_random(bytes);
    char text[37];
    uuid_unparse_upper(bytes, text);
    return text;
}

TemplateProviders defaultTemplateProviders(const Pasteboard& pasteboard) {
    return TemplateProviders{
        .now = [] { return SystemClock::shared().now(); },
        .clipboard = [&pasteboard] { return pasteboard.string().value_or(std::string()); },
        .uuid = [] { return makeUuidString(); },
    };
}

std::string expandTemplate(const std::string& text, const TemplateProviders& providers,
                           const TemplateResolver& resolver, int depth,
                           const std::set<std::string>& expandingNames, const TemplateLimits& limits) {
    std::string result;
    Expander(providers, resolver, limits, expandingNames, depth).expand(result, text, depth);
    return result;
}

} // namespace korvane
