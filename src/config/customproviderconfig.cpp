#include "config/customproviderconfig.h"

#include "base/jsonfields.h"
#include "base/unicode.h"
#include "config/categorycatalog.h"
#include "config/scoperegistry.h"

#include <algorithm>
#include <fmt/format.h>
#include <set>

namespace korvane {
namespace {

using P = CustomProviderConfig;

const auto kFields = std::tuple{
    requiredField("id", &P::id),
    requiredField("label", &P::label),
    requiredField("command", &P::command),
    optionalField("description", &P::description),
    optionalField("scope", &P::scope),
    optionalField("badge", &P::badge),
    optionalField("empty_hint", &P::emptyHint),
    defaultedField("ttl", &P::ttl),
    defaultedField("mode", &P::mode),
    defaultedField("debounce", &P::debounce),
};

// Provider fields count line breaks as blank too, unlike snippet keys.
std::string_view trimmedWhitespace(std::string_view text) {
    return trimmedAscii(text, " \t\n\r\v\f");
}

bool matchesIdentifierPattern(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    });
}

std::optional<std::string> providerValidationError(const CustomProviderConfig& provider,
                                                   std::set<std::string>& ids,
                                                   std::set<std::string>& scopes) {
    const std::string& id = provider.id;
    if (trimmedWhitespace(id).empty()) {
        return "Custom provider id cannot be empty";
    }
    if (trimmedWhitespace(provider.label).empty()) {
        return "Custom provider '" + id + "' label cannot be empty";
    }
    if (trimmedWhitespace(provider.command).empty()) {
        return "Custom provider '" + id + "' command cannot be empty";
    }
    if (trimmedWhitespace(id) != id || !matchesIdentifierPattern(id)) {
        return "Custom provider id '" + id + "' must match [a-z0-9-]+";
    }
    if (provider.scope) {
        const std::string& scope = *provider.scope;
        if (trimmedWhitespace(scope).empty()) {
            return "Custom provider '" + id + "' scope cannot be empty";
        }
        if (trimmedWhitespace(scope) != scope || !matchesIdentifierPattern(scope)) {
            return "Custom provider scope '" + scope + "' must match [a-z0-9-]+";
        }
    }
    const auto& categories = CategoryCatalog::builtInCategories();
    if (std::any_of(categories.begin(), categories.end(), [&](const auto& c) { return c.id == id; })) {
        return "Custom provider id '" + id + "' collides with built-in category";
    }
    if (!ids.insert(id).second) {
        return "Duplicate custom provider id '" + id + "'";
    }
    const std::string& scope = provider.scope ? *provider.scope : id;
    if (ScopeRegistry::builtInTokens().contains(scope)) {
        return "Custom provider scope '" + scope + "' collides with built-in scope";
    }
    if (!scopes.insert(scope).second) {
        return "Duplicate custom provider scope '" + scope + "'";
    }
    return std::nullopt;
}

} // namespace

CustomProviderConfig CustomProviderConfig::decode(const Json& value, const std::string& path,
                                                  JsonDecodeStatus& status) {
    return decodeJsonFields<CustomProviderConfig>(kFields, value, path, status);
}

Json CustomProviderConfig::encode() const {
    return encodeJsonFields(kFields, *this);
}

std::optional<std::string>
CustomProviderConfig::validationError(const std::vector<CustomProviderConfig>& providers) {
    std::set<std::string> ids;
    std::set<std::string> scopes;
    for (const auto& provider : providers) {
        if (auto message = providerValidationError(provider, ids, scopes)) {
            return message;
        }
    }
    return std::nullopt;
}

std::vector<std::string> CustomProviderConfig::clampToLimits() {
    static const CustomProviderConfig defaults;
    std::vector<std::string> warnings;
    const auto clampTime = [&](std::int64_t& value, std::int64_t fallback, std::string_view key) {
        if (value < 0) {
            warnings.push_back(
                fmt::format("Custom provider '{}' {} {} is negative - using {}", id, key, value, fallback));
            value = fallback;
        }
    };
    clampTime(ttl, defaults.ttl, "ttl");
    clampTime(debounce, defaults.debounce, "debounce");
    return warnings;
}

} // namespace korvane
