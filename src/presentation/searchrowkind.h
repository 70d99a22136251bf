#pragma once

#include "model/searchresult.h"
#include "presentation/scopedefinition.h"

#include <cstddef>
#include <string>
#include <variant>

namespace korvane {

// What one row of the search list shows: a section header, a scope to pick, or a search result.
// A plain value without equality.
class SearchRowKind {
public:
    struct SectionHeader {
        std::string title;
        std::string sectionID;
        std::size_t count = 0;
    };
    struct Scope {
        ScopeDefinition definition;
        std::string sectionID;
        bool isActive = false;
    };
    struct SnippetRow {
        SearchResult result;
        std::string sectionID;
    };
    using Value = std::variant<SectionHeader, Scope, SnippetRow>;

    static SearchRowKind sectionHeader(std::string title, std::string sectionID, std::size_t count) {
        return SearchRowKind(SectionHeader{std::move(title), std::move(sectionID), count});
    }
    static SearchRowKind scope(ScopeDefinition definition, std::string sectionID, bool isActive) {
        return SearchRowKind(Scope{std::move(definition), std::move(sectionID), isActive});
    }
    static SearchRowKind snippet(SearchResult result, std::string sectionID) {
        return SearchRowKind(SnippetRow{std::move(result), std::move(sectionID)});
    }

    const Value& value() const { return value_; }
    // The payload of each case, or nullptr when the row is of another case.
    const SectionHeader* asSectionHeader() const { return std::get_if<SectionHeader>(&value_); }
    const Scope* asScope() const { return std::get_if<Scope>(&value_); }
    const SnippetRow* asSnippet() const { return std::get_if<SnippetRow>(&value_); }

private:
    explicit SearchRowKind(Value value)
        : value_(std::move(value)) {}

    Value value_;
};

} // namespace korvane
