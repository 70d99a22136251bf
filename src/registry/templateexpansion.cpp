#include "registry/templateexpansion.h"

#include "base/clock.h"
#include "platform/pasteboard.h"

#include <memory>
#include <string_view>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>
#include <uuid/uuid.h>

namespace korvane {
namespace {

constexpr int kMaxDepth = 9;

// Shared by one top-level call and every resolver expansion below it.
struct Budget {
    std::size_t resolverExpansionsLeft;
};

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
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

std::string expand(const std::string& text, const TemplateProviders& providers,
                   const TemplateResolver& resolver, int depth, const std::set<std::string>& expandingNames,
                   Budget& budget, const TemplateLimits& limits);

// The text a placeholder stands for, or nothing when it is to stay as written.
std::optional<std::string> replacement(const std::string& name, std::chrono::system_clock::time_point instant,
                                       const TemplateProviders& providers, const TemplateResolver& resolver,
                                       int depth, const std::set<std::string>& expandingNames, Budget& budget,
                                       const TemplateLimits& limits) {
    if (auto text = builtInPlaceholder(name, instant, providers)) {
        return text;
    }
    if (!resolver || expandingNames.contains(name) || budget.resolverExpansionsLeft == 0) {
        return std::nullopt;
    }
    auto resolved = resolver(name);
    if (!resolved) {
        return std::nullopt;
    }
    --budget.resolverExpansionsLeft;
    auto names = expandingNames;
    names.insert(name);
    return expand(*resolved, providers, resolver, depth + 1, names, budget, limits);
}

std::string expand(const std::string& text, const TemplateProviders& providers,
                   const TemplateResolver& resolver, int depth, const std::set<std::string>& expandingNames,
                   Budget& budget, const TemplateLimits& limits) {
    if (text.find("{{") == std::string::npos || depth > kMaxDepth) {
        return text;
    }
    const auto instant = providers.now ? providers.now() : std::chrono::system_clock::now();
    std::string result;
    std::size_t position = 0;
    while (position < text.size()) {
        const auto open = text.find("{{", position);
        if (open == std::string::npos) {
            break;
        }
        result.append(text, position, open - position);
        const auto close = text.find("}}", open + 2);
        if (close == std::string::npos) {
            position = open;
            break;
        }
        const std::string name(trimmed(std::string_view(text).substr(open + 2, close - open - 2)));
        std::optional<std::string> value;
        if (result.size() < limits.maxOutputBytes) {
            value = replacement(name, instant, providers, resolver, depth, expandingNames, budget, limits);
        }
        if (value && result.size() + value->size() <= limits.maxOutputBytes) {
            result += *value;
        } else {
            result.append(text, open, close + 2 - open);
        }
        position = close + 2;
    }
    if (position < text.size()) {
        result.append(text, position, std::string::npos);
    }
    return result;
}

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
    Budget budget{limits.maxResolverExpansions};
    return expand(text, providers, resolver, depth, expandingNames, budget, limits);
}

} // namespace korvane
