#pragma once

#include "config/scoperegistry.h"
#include "model/searchresult.h"
#include "model/snippetsource.h"
#include "presentation/searchupdate.h"
#include "presentation/searchviewstate.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The popup as the search sees it: where each search update goes and what is on screen now. The
// popup implements it, so the search never reaches into the popup's classes. Main thread only.
class SearchDisplay {
public:
    virtual ~SearchDisplay() = default;

    // Takes one update as one change, then shows the window as the update asks.
    virtual void apply(SearchUpdate update) = 0;
    // The scope tables the popup's rows and help are drawn from.
    virtual void setScopeRegistry(ScopeRegistry registry) = 0;

    virtual bool isVisible() const = 0;
    virtual bool isHelpMode() const = 0;
    // Whether the search list shows a live scope's answer, and for which scope.
    virtual bool isLiveScopeActive() const = 0;
    virtual bool showsLiveScope(const SnippetSource& source) const = 0;
    virtual std::vector<SearchResult> allResults() const = 0;
    virtual const SearchViewState& viewState() const = 0;
    virtual std::optional<std::string> selectedSnippetID() const = 0;
};

} // namespace korvane
