#include "presentation/searchviewstate.h"

namespace korvane {
namespace {

const std::string& snippetID(const SearchResult& result) {
    static const std::string none;
    return result.snippet ? result.snippet->id : none;
}

} // namespace

SearchViewState SearchViewState::results(std::vector<SearchResult> results) {
    SearchViewState state;
    state.value_ = std::move(results);
    return state;
}

SearchViewState SearchViewState::empty(SearchEmptyState emptyState) {
    SearchViewState state;
    state.value_ = std::move(emptyState);
    return state;
}

const std::vector<SearchResult>& SearchViewState::resultList() const {
    static const std::vector<SearchResult> none;
    const auto* list = std::get_if<std::vector<SearchResult>>(&value_);
    return list ? *list : none;
}

bool SearchViewState::operator==(const SearchViewState& other) const {
    if (isEmptyState() || other.isEmptyState()) {
        return isEmptyState() && other.isEmptyState() && *emptyState() == *other.emptyState();
    }
    const auto& mine = resultList();
    const auto& theirs = other.resultList();
    if (mine.size() != theirs.size()) {
        return false;
    }
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (snippetID(mine[i]) != snippetID(theirs[i])) {
            return false;
        }
    }
    return true;
}

} // namespace korvane
