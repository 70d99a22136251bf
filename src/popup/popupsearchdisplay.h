#pragma once

#include "popup/popupcontroller.h"
#include "presentation/searchdisplay.h"

#include <memory>

namespace korvane {

// The popup behind the search's display port: an update goes to the view model as one change, then
// the controller places and shows the window as the update asks. Main thread.
class PopupSearchDisplay final : public SearchDisplay {
public:
    explicit PopupSearchDisplay(std::shared_ptr<PopupController> controller);

    void apply(SearchUpdate update) override;
    void setScopeRegistry(ScopeRegistry registry) override;
    bool isVisible() const override;
    bool isHelpMode() const override;
    bool isLiveScopeActive() const override;
    bool showsLiveScope(const SnippetSource& source) const override;
    std::vector<SearchResult> allResults() const override;
    const SearchViewState& viewState() const override;
    std::optional<std::string> selectedSnippetID() const override;

private:
    std::shared_ptr<PopupController> controller_;
};

} // namespace korvane
