#include "registry/templateexpansion.h"

#include "base/clock.h"
#include "platform/pasteboard.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
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
// The work each step of an expansion costs, in bytes of text it could have scanned in the same
// time, so that one budget bounds the time of any mix: reading a placeholder's name; calling the
// resolver, whether or not it knows the name; making a fresh UUID, which asks the kernel for random
// bytes; making a date formatter; and each formatting and the formatter's making by the length
// of the pattern, which takes ICU a few hundred nanoseconds per byte.
constexpr std::size_t kPlaceholderCost = 16;
constexpr std::size_t kResolverCallCost = 256;
constexpr std::size_t kUuidCost = 4 << 10;
constexpr std::size_t kFormatterCost = 64 << 10;
constexpr std::size_t kPatternByteCost = 256;

// White space around a name: the tab and every space separator (U+0020, no-break space, the
// typographic spaces, ideographic space and the others of category Zs). Line breaks are not.
bool isBlank(UChar32 c) {
    return c == '\t' || c == ' ' || (c > 0x7F && u_charType(c) == U_SPACE_SEPARATOR);
}

std::string_view trimmed(std::string_view text) {
    const auto isAsciiInk = [](char c) { return c > ' ' && c < 0x7F; };
    if (text.empty() || (isAsciiInk(text.front()) && isAsciiInk(text.back()))) {
        return text;
    }
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

// text.find("cc", from) for a brace `c`. Placeholders of generated texts sit a few bytes apart, where
// a plain loop finds the pair before a call of memchr is set up; farther ones are left to memchr.
std::size_t findPair(std::string_view text, std::size_t from, char c) {
    const char* data = text.data();
    const std::size_t last = text.size() < 2 ? 0 : text.size() - 1; // a pair must start before it
    std::size_t i = from;
    while (i < last) {
        for (const std::size_t stop = std::min(last, i + 32); i < stop; ++i) {
            if (data[i] == c && data[i + 1] == c) {
                return i;
            }
        }
        if (i >= last) {
            break;
        }
        const void* hit = std::memchr(data + i, c, last - i);
        if (hit == nullptr) {
            break;
        }
        i = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (data[i + 1] == c) {
            return i;
        }
        ++i;
    }
    return std::string_view::npos;
}

// One date pattern of an expansion: its formatter, made on first use, and the text of the last
// instant it formatted (every placeholder of one text shows the same instant).
struct PatternFormat {
    DateFormatter format;
    std::optional<std::int64_t> millis;
    std::string text;
};

// One top-level expansion: the budgets, the names being expanded, the date formatters and the
// clipboard text are shared by every resolver text expanded below it, so the limits hold for the
// whole call and nothing is fetched or built twice. Lives for one expandTemplate call.
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
        // Every date and time placeholder of one text shows the same instant.
        const auto instant = providers_.now ? providers_.now() : std::chrono::system_clock::now();
        // The last date placeholder of this text as written and its text: a run of equal ones
        // (thousands in a generated file) costs a comparison each.
        std::string_view previousDate;
        const std::string* previousDateText = nullptr;
        std::size_t position = 0;
        // Once nothing more may be computed, the rest of the text stays as written without a look.
        while (outputBytesLeft_ > 0 && workBytesLeft_ >= kPlaceholderCost) {
            if (previousDateText != nullptr && text.substr(position, previousDate.size()) == previousDate) {
                // The same bytes parse the same way: no need to look for the braces again.
                out += *previousDateText;
                spendOutput(previousDateText->size());
                position += previousDate.size();
                continue;
            }
            const auto open = findPair(text, position, '{');
            if (open == std::string_view::npos) {
                break;
            }
            append(out, text.substr(position, open - position), depth);
            position = open;
            const auto close = findPair(text, open + 2, '}');
            if (close == std::string_view::npos) {
                break;
            }
            position = close + 2;
            workBytesLeft_ -= kPlaceholderCost;
            const auto placeholder = text.substr(open, close + 2 - open);
            const auto name = trimmed(placeholder.substr(2, placeholder.size() - 4));
            if (const auto pattern = datePattern(name)) {
                previousDate = placeholder;
                previousDateText = formattedDate(*pattern, instant);
                if (previousDateText != nullptr) {
                    out += *previousDateText;
                    spendOutput(previousDateText->size());
                } else {
                    append(out, placeholder, depth);
                }
                continue;
            }
            // A resolver text may format the same patterns at its own instant.
            previousDateText = nullptr;
            if (!appendReplacement(out, name, depth)) {
                append(out, placeholder, depth);
            }
        }
        append(out, text.substr(position), depth);
    }

private:
    // Appends what the placeholder `name`, other than a date or time, stands for; false when it is
    // to stay as written.
    bool appendReplacement(std::string& out, std::string_view name, int depth) {
        if (name == "clipboard") {
            if (!providers_.clipboard) {
                return false;
            }
            if (!clipboard_) {
                clipboard_ = providers_.clipboard();
            }
            out += *clipboard_;
            spendOutput(clipboard_->size());
            return true;
        }
        if (name == "uuid") {
            if (!spendWork(kUuidCost)) {
                return false;
            }
            const auto uuid = providers_.uuid ? providers_.uuid() : makeUuidString();
            out += uuid;
            spendOutput(uuid.size());
            return true;
        }
        return appendResolved(out, name, depth);
    }

    // The pattern of a date or time placeholder; absent for any other name.
    static std::optional<std::string_view> datePattern(std::string_view name) {
        if (name == "date") {
            return "yyyy-MM-dd";
        }
        if (name == "time") {
            return "HH:mm";
        }
        if (name.starts_with("date:") || name.starts_with("time:")) {
            return trimmed(name.substr(5));
        }
        return std::nullopt;
    }

    // The text of `pattern` at `instant`, formatting at most once per pattern and instant; null when
    // the work budget has no room for another formatter.
    const std::string* formattedDate(std::string_view pattern,
                                     std::chrono::system_clock::time_point instant) {
        // Making a formatter parses its pattern, and so does each formatting; both cost by its length.
        const std::size_t patternUnits = pattern.size() + 1;
        if (patternUnits > workBytesLeft_ / kPatternByteCost) {
            return nullptr;
        }
        const std::size_t formatCost = patternUnits * kPatternByteCost;
        auto found = formats_.find(pattern);
        if (found == formats_.end()) {
            if (!spendWork(kFormatterCost + formatCost)) {
                return nullptr;
            }
            std::string key(pattern);
            auto format = providers_.dateFormatter ? providers_.dateFormatter(key) : makeDateFormatter(key);
            found = formats_.emplace(std::move(key), PatternFormat{std::move(format), {}, {}}).first;
        }
        PatternFormat& entry = found->second;
        const auto millis =
            std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count();
        if (entry.millis != millis) {
            // Resolver texts each take their own instant, so a pattern they share may be formatted
            // once per text.
            if (!spendWork(formatCost)) {
                return nullptr;
            }
            entry.text = entry.format ? entry.format(instant) : std::string();
            entry.millis = millis;
        }
        return &entry.text;
    }

    // Takes `units` from the work budget; false, taking nothing, when fewer are left.
    bool spendWork(std::size_t units) {
        if (workBytesLeft_ < units) {
            return false;
        }
        workBytesLeft_ -= units;
        return true;
    }

    bool appendResolved(std::string& out, std::string_view name, int depth) {
        if (!resolver_ || isExpanding(name) || !spendWork(kResolverCallCost)) {
            return false;
        }
        std::string key(name);
        const std::string* resolved = resolver_(key);
        if (resolved == nullptr || !spendWork(resolved->size())) {
            return false;
        }
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
    std::map<std::string, PatternFormat, std::less<>> formats_;
    // Read on the first {{clipboard}}: on X11 each read is a round trip to the clipboard's owner.
    std::optional<std::string> clipboard_;
};

} // namespace

DateFormatter makeDateFormatter(const std::string& pattern) {
    UErrorCode status = U_ZERO_ERROR;
    const auto icuPattern = icu::UnicodeString::fromUTF8(pattern);
    auto formatter = std::make_shared<icu::SimpleDateFormat>(icuPattern, icu::Locale::getDefault(), status);
    if (U_FAILURE(status)) {
        return [](std::chrono::system_clock::time_point) { return std::string(); };
    }
    return [formatter = std::shared_ptr<const icu::SimpleDateFormat>(std::move(formatter))](
               std::chrono::system_clock::time_point instant) {
        const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch());
        icu::UnicodeString formatted;
        formatter->format(static_cast<UDate>(millis.count()), formatted);
        std::string result;
        formatted.toUTF8String(result);
        return result;
    };
}

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
