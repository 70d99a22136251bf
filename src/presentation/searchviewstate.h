#pragma once

#include "model/searchresult.h"

#include <string>
#include <variant>
#include <vector>

namespace korvane {

// The message the popup shows when a search found nothing, compact (the list collapses) or standard.
struct SearchEmptyState {
    enum class Style { compact, standard };

    std::string message;
    Style style = Style::standard;

    bool operator==(const SearchEmptyState&) const = default;
};

// The search list: a list of results or an empty state. Two result lists are equal when their
// snippet ids agree position by position (match ranges are not compared), so a refresh that brings
// the same items in the same order is no change.
class SearchViewState {
public:
    SearchViewState() = default;

    static SearchViewState results(std::vector<SearchResult> results);
    static SearchViewState empty(SearchEmptyState state);

    bool isEmptyState() const { return std::holds_alternative<SearchEmptyState>(value_); }
    // The results; none in the empty state.
    const std::vector<SearchResult>& resultList() const;
    // The empty state, or nullptr for a result list.
    const SearchEmptyState* emptyState() const { return std::get_if<SearchEmptyState>(&value_); }

    bool operator==(const SearchViewState& other) const;

private:
    std::variant<std::vector<SearchResult>, SearchEmptyState> value_;
};

} // namespace korvane
