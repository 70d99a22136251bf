#pragma once

#include "model/snippetsource.h"

#include <string>
#include <utility>
#include <variant>

namespace korvane {

// The chip the search field shows for a query's scope: a source with the token as the user typed it
// (lower case), the application filter, the URL filter, or a scope token still being typed.
class QueryChip {
public:
    struct Source {
        std::string token;
        SnippetSource source;
        bool operator==(const Source&) const = default;
    };
    struct App {
        bool operator==(const App&) const = default;
    };
    struct Url {
        bool operator==(const Url&) const = default;
    };
    struct ScopePending {
        bool operator==(const ScopePending&) const = default;
    };
    using Value = std::variant<Source, App, Url, ScopePending>;

    static QueryChip source(std::string token, SnippetSource source) {
        return QueryChip(Source{std::move(token), std::move(source)});
    }
    static QueryChip app() { return QueryChip(App{}); }
    static QueryChip url() { return QueryChip(Url{}); }
    static QueryChip scopePending() { return QueryChip(ScopePending{}); }

    const Value& value() const { return value_; }
    // The payload of a source chip, or nullptr for the other cases.
    const Source* asSource() const { return std::get_if<Source>(&value_); }
    bool isApp() const { return std::holds_alternative<App>(value_); }
    bool isUrl() const { return std::holds_alternative<Url>(value_); }
    bool isScopePending() const { return std::holds_alternative<ScopePending>(value_); }

    bool operator==(const QueryChip&) const = default;

private:
    explicit QueryChip(Value value)
        : value_(std::move(value)) {}

    Value value_;
};

} // namespace korvane
