#include "registry/queryintentresolver.h"

#include "base/unicode.h"
#include "config/scoperegistry.h"
#include "registry/querytext.h"
#include "registry/scopetokenlookup.h"

namespace korvane {

QueryIntent QueryIntentResolver::resolve(const std::string& text, const ScopeRegistry& registry) {
    if (text == "?") {
        return QueryIntent::help();
    }
    const QueryText characters(text);
    const bool startsWithAt = !characters.empty() && characters.character(0) == "@";
    if (startsWithAt && characters.size() >= 2 && characters.character(1) == "@") {
        return QueryIntent::literalSearch("@" + std::string(characters.dropFirst(2)));
    }
    if (!startsWithAt) {
        return QueryIntent::normalSearch(text);
    }
    const std::string_view rest = characters.dropFirst(1);
    if (rest.empty()) {
        return QueryIntent::scopePicker("");
    }
    const ScopeTokenLookup lookup(registry.projection());

    if (const auto separator = characters.firstSeparator(1)) {
        std::string token = lowercased(characters.slice(1, *separator));
        if (const ScopeSpec* scopeSpec = lookup.scopeSpec(token)) {
            return QueryIntent::scopedSearch(*scopeSpec, std::string(characters.dropFirst(*separator + 1)),
                                             std::move(token));
        }
        return QueryIntent::scopePicker(std::move(token));
    }

    std::string lower = lowercased(rest);
    if (const ScopeSpec* scopeSpec = lookup.scopeSpec(lower)) {
        return QueryIntent::scopedSearch(*scopeSpec, "", std::move(lower));
    }
    if (lookup.isStartOfLongerToken(lower) || QueryText(lower).size() < 2) {
        return QueryIntent::scopePicker(std::move(lower));
    }
    if (auto match = lookup.compactMatch(rest)) {
        return QueryIntent::scopedSearch(*match->scopeSpec, std::move(match->query), std::move(match->token));
    }
    return QueryIntent::scopePicker(std::move(lower));
}

} // namespace korvane
