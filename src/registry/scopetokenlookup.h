#pragma once

#include "config/scoperegistry.h"
#include "model/scopespec.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The scope-token questions that query parsing and intent resolution both ask of a registry's
// token tables. It refers to the projection, which must outlive it. Main thread.
class ScopeTokenLookup {
public:
    explicit ScopeTokenLookup(const ScopeResolverProjection& projection)
        : projection_(projection) {}

    // A scope token written without a separator, and the query text that follows it as typed.
    struct CompactMatch {
        std::string token;
        const ScopeSpec* scopeSpec = nullptr;
        std::string query;
    };

    // What a lower-case token selects, or nullptr when no scope has that alias.
    const ScopeSpec* scopeSpec(const std::string& token) const;

    // Whether some alias starts with `lower` and has more characters than it.
    bool isStartOfLongerToken(std::string_view lower) const;

    // The longest compact alias that `rest` (the text after "@") starts with, compared lower-cased,
    // that still leaves at least one character for the query.
    std::optional<CompactMatch> compactMatch(std::string_view rest) const;

private:
    std::size_t longestCompactToken() const;

    const ScopeResolverProjection& projection_;
};

} // namespace korvane
