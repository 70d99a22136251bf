#pragma once

#include "model/searchresult.h"
#include "presentation/scopecatalog.h"
#include "presentation/scopedefinition.h"
#include "presentation/searchpresentation.h"
#include "presentation/searchrow.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace korvane {

// Turns the answer to a query with an @-context (the scope picker, or a scope chip in force) into the
// rows of the search list: snippet rows, scope rows ranked for the typed term, section headers, the
// row selected first and the message. Stateless; main thread.
class SearchPresentationComposer {
public:
    // The @-context of a query: the term typed after "@" while no scope is chosen yet, or the token
    // of the chip in force, as the user typed it.
    class Context {
    public:
        struct ScopeOnly {
            std::string term;
            bool operator==(const ScopeOnly&) const = default;
        };
        struct Scoped {
            std::string chipToken;
            bool operator==(const Scoped&) const = default;
        };

        static Context scopeOnly(std::string term) { return Context(ScopeOnly{std::move(term)}); }
        static Context scoped(std::string chipToken) { return Context(Scoped{std::move(chipToken)}); }

        const ScopeOnly* asScopeOnly() const { return std::get_if<ScopeOnly>(&value_); }
        const Scoped* asScoped() const { return std::get_if<Scoped>(&value_); }

        bool operator==(const Context&) const = default;

    private:
        explicit Context(std::variant<ScopeOnly, Scoped> value)
            : value_(std::move(value)) {}

        std::variant<ScopeOnly, Scoped> value_;
    };

    static constexpr std::size_t maxScopesBesideResults = 12;

    SearchPresentation compose(const Context& context, const std::vector<SearchResult>& results, bool scopeDisabled,
                               const std::optional<std::string>& message,
                               const ScopeCatalog::Inputs& catalogInputs) const;

    // The rank of a scope for a term already trimmed and lower-cased, and an optional chip token.
    static int scopeScore(const ScopeDefinition& scope, const std::string& normalizedTerm,
                          const std::optional<std::string>& chipToken);

    static SearchRow makeScopeRow(const ScopeDefinition& scope, const std::string& sectionID,
                                  const std::optional<std::string>& chipToken);
};

} // namespace korvane
