#pragma once

#include "model/scopespec.h"

#include <string>
#include <utility>
#include <variant>

namespace korvane {

// What the popup should do with a query text: list the scopes, search within one scope, search the
// whole text, search for a text that itself starts with "@", or show the scope help.
class QueryIntent {
public:
    struct ScopePicker {
        std::string searchTerm;
        bool operator==(const ScopePicker&) const = default;
    };
    struct ScopedSearch {
        ScopeSpec scope;
        std::string query;
        // The lower-case token as the user typed it.
        std::string chipToken;
        bool operator==(const ScopedSearch&) const = default;
    };
    struct NormalSearch {
        std::string query;
        bool operator==(const NormalSearch&) const = default;
    };
    struct LiteralSearch {
        std::string query;
        bool operator==(const LiteralSearch&) const = default;
    };
    struct Help {
        bool operator==(const Help&) const = default;
    };
    using Value = std::variant<ScopePicker, ScopedSearch, NormalSearch, LiteralSearch, Help>;

    static QueryIntent scopePicker(std::string searchTerm) {
        return QueryIntent(ScopePicker{std::move(searchTerm)});
    }
    static QueryIntent scopedSearch(ScopeSpec scope, std::string query, std::string chipToken) {
        return QueryIntent(ScopedSearch{std::move(scope), std::move(query), std::move(chipToken)});
    }
    static QueryIntent normalSearch(std::string query) { return QueryIntent(NormalSearch{std::move(query)}); }
    static QueryIntent literalSearch(std::string query) {
        return QueryIntent(LiteralSearch{std::move(query)});
    }
    static QueryIntent help() { return QueryIntent(Help{}); }

    const Value& value() const { return value_; }
    // The payload of each case, or nullptr when the intent is another case.
    const ScopePicker* asScopePicker() const { return std::get_if<ScopePicker>(&value_); }
    const ScopedSearch* asScopedSearch() const { return std::get_if<ScopedSearch>(&value_); }
    const NormalSearch* asNormalSearch() const { return std::get_if<NormalSearch>(&value_); }
    const LiteralSearch* asLiteralSearch() const { return std::get_if<LiteralSearch>(&value_); }
    bool isHelp() const { return std::holds_alternative<Help>(value_); }

    bool operator==(const QueryIntent&) const = default;

private:
    explicit QueryIntent(Value value)
        : value_(std::move(value)) {}

    Value value_;
};

} // namespace korvane
