#include "registry/parsedquery.h"

#include "base/unicode.h"
#include "config/scoperegistry.h"
#include "registry/querytext.h"
#include "registry/scopetokenlookup.h"

namespace korvane {

ParsedQuery ParsedQuery::plain(std::string text) {
    ParsedQuery parsed;
    parsed.query = std::move(text);
    return parsed;
}

ParsedQuery ParsedQuery::pending() {
    ParsedQuery parsed;
    parsed.isScopePending = true;
    return parsed;
}

ParsedQuery ParsedQuery::scoped(const ScopeSpec& scopeSpec, const std::string& token, std::string query) {
    ParsedQuery parsed;
    parsed.query = std::move(query);
    if (const SnippetSource* source = scopeSpec.asSource()) {
        parsed.displayChip = QueryChip::source(token, *source);
        parsed.scope = *source;
        parsed.scopes = std::vector<SnippetSource>{*source};
    } else if (const std::vector<SnippetSource>* sources = scopeSpec.asMultiSource()) {
        // An empty list keeps its (empty) source list so that the search finds nothing rather than
        // everything; there is no source to show in a chip.
        parsed.scopes = *sources;
        if (!sources->empty()) {
            parsed.displayChip = QueryChip::source(token, sources->front());
            parsed.scope = sources->front();
        }
    } else if (const ScopeFilter* filter = scopeSpec.asFilter()) {
        switch (*filter) {
        case ScopeFilter::urlOnly:
            parsed.displayChip = QueryChip::url();
            parsed.urlOnly = true;
            break;
        case ScopeFilter::appScoped:
            parsed.displayChip = QueryChip::app();
            parsed.scope = SnippetSource::manual();
            parsed.scopes = std::vector<SnippetSource>{SnippetSource::manual()};
            parsed.scopeFilter = SnippetScope::app;
            break;
        }
    }
    return parsed;
}

ParsedQuery ParsedQuery::parse(const std::string& text, const ScopeRegistry& registry) {
    const QueryText characters(text);
    if (characters.empty() || characters.character(0) != "@") {
        return plain(text);
    }
    const ScopeTokenLookup lookup(registry.projection());
    const std::string_view rest = characters.dropFirst(1);

    if (const auto separator = characters.firstSeparator(1)) {
        const std::string token = lowercased(characters.slice(1, *separator));
        if (const ScopeSpec* scopeSpec = lookup.scopeSpec(token)) {
            // Only the first separator is dropped: "@git  a" searches " a".
            return scoped(*scopeSpec, token, std::string(characters.dropFirst(*separator + 1)));
        }
    } else {
        const std::string lower = lowercased(rest);
        if (lower.empty()) {
            return pending();
        }
        if (const ScopeSpec* scopeSpec = lookup.scopeSpec(lower)) {
            return scoped(*scopeSpec, lower, "");
        }
        if (lookup.isStartOfLongerToken(lower)) {
            return pending();
        }
    }
    // Also for a token that is not a scope before a separator: "@gx foo" is the git scope with "x foo".
    if (auto match = lookup.compactMatch(rest)) {
        return scoped(*match->scopeSpec, match->token, std::move(match->query));
    }
    return plain(text);
}

} // namespace korvane
