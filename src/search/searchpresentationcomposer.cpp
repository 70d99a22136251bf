#include "search/searchpresentationcomposer.h"

#include "base/unicode.h"

#include <algorithm>

namespace korvane {
namespace {

constexpr std::string_view kWhitespace = " \t\n\r\v\f";
const std::string kSnippetsSection = "snippets";
const std::string kScopesSection = "scopes";

bool aliasesContain(const ScopeDefinition& scope, const std::string& loweredToken) {
    return std::any_of(scope.aliases.begin(), scope.aliases.end(),
                       [&](const std::string& alias) { return lowercased(alias) == loweredToken; });
}

SearchRow headerRow(const std::string& title, const std::string& sectionID, std::size_t count) {
    return SearchRow{SearchRowKind::sectionHeader(title, sectionID, count), "header:" + sectionID, sectionID, false};
}

void appendScopeSection(std::vector<SearchRow>& rows, const std::vector<ScopeDefinition>& scopes,
                        const std::optional<std::string>& chipToken) {
    if (scopes.empty()) {
        return;
    }
    rows.push_back(headerRow("Scopes", kScopesSection, scopes.size()));
    for (const auto& scope : scopes) {
        rows.push_back(SearchPresentationComposer::makeScopeRow(scope, kScopesSection, chipToken));
    }
}

} // namespace

SearchPresentation SearchPresentationComposer::compose(const Context& context,
                                                       const std::vector<SearchResult>& results, bool scopeDisabled,
                                                       const std::optional<std::string>& message,
                                                       const ScopeCatalog::Inputs& catalogInputs) const {
    std::string term;
    std::optional<std::string> chipToken;
    if (const auto* scopeOnly = context.asScopeOnly()) {
        term = scopeOnly->term;
    } else if (const auto* scoped = context.asScoped()) {
        chipToken = scoped->chipToken;
    }

    auto scopes = ScopeCatalog::rows(catalogInputs, term);
    const std::string normalized = lowercased(trimmedAscii(term, kWhitespace));
    std::vector<int> scores;
    scores.reserve(scopes.size());
    std::vector<std::size_t> order(scopes.size());
    for (std::size_t i = 0; i < scopes.size(); ++i) {
        order[i] = i;
        scores.push_back(scopeScore(scopes[i], normalized, chipToken));
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return scores[a] > scores[b]; });
    std::vector<ScopeDefinition> sorted;
    sorted.reserve(scopes.size());
    for (auto index : order) {
        sorted.push_back(std::move(scopes[index]));
    }
    if (!results.empty() && sorted.size() > maxScopesBesideResults) {
        sorted.resize(maxScopesBesideResults);
    }

    SearchPresentation presentation;
    presentation.snippetResults = results;
    if (context.asScopeOnly()) {
        presentation.variant = SearchShellVariant::scopesOnly;
        appendScopeSection(presentation.rows, sorted, std::nullopt);
        if (sorted.empty()) {
            presentation.message = term.empty() ? std::string("No scopes enabled (check providers in settings)")
                                                : "No scopes match \"@" + term + "\"";
        }
    } else if (!results.empty()) {
        presentation.variant = SearchShellVariant::mixed;
        presentation.rows.push_back(headerRow("Snippets", kSnippetsSection, results.size()));
        for (const auto& result : results) {
            const std::string id = result.snippet ? result.snippet->id : std::string();
            presentation.rows.push_back(
                SearchRow{SearchRowKind::snippet(result, kSnippetsSection), "snippet:" + id, kSnippetsSection, true});
        }
        appendScopeSection(presentation.rows, sorted, chipToken);
    } else {
        presentation.variant = SearchShellVariant::scopedEmpty;
        if (!scopeDisabled) {
            presentation.message = message ? *message
                                           : "No matches in @" + chipToken.value_or("") +
                                                 ". Backspace to refine or choose another scope.";
        }
        appendScopeSection(presentation.rows, sorted, chipToken);
    }
    for (const auto& row : presentation.rows) {
        if (row.isSelectable) {
            presentation.initialSelectedRowID = row.id;
            break;
        }
    }
    return presentation;
}

int SearchPresentationComposer::scopeScore(const ScopeDefinition& scope, const std::string& normalizedTerm,
                                           const std::optional<std::string>& chipToken) {
    int score = 0;
    if (chipToken && aliasesContain(scope, lowercased(*chipToken))) {
        score += 10000;
    }
    if (normalizedTerm.empty()) {
        return score;
    }
    if (aliasesContain(scope, normalizedTerm)) {
        score += 1000;
    } else if (std::any_of(scope.aliases.begin(), scope.aliases.end(), [&](const std::string& alias) {
                   return lowercased(alias).starts_with(normalizedTerm);
               })) {
        score += 500;
    }
    if (lowercased(scope.title).find(normalizedTerm) != std::string::npos) {
        score += 100;
    }
    return score;
}

SearchRow SearchPresentationComposer::makeScopeRow(const ScopeDefinition& scope, const std::string& sectionID,
                                                   const std::optional<std::string>& chipToken) {
    const bool isActive = chipToken && aliasesContain(scope, lowercased(*chipToken));
    return SearchRow{SearchRowKind::scope(scope, sectionID, isActive), "scope:" + scope.primaryAlias, sectionID,
                     true};
}

} // namespace korvane
