#include "popup/popupsearchdisplay.h"

#include <utility>

namespace korvane {

PopupSearchDisplay::PopupSearchDisplay(std::shared_ptr<PopupController> controller)
    : controller_(std::move(controller)) {}

void PopupSearchDisplay::apply(SearchUpdate update) {
    if (update.position) {
        controller_->popupPosition = *update.position;
    }
    const auto window = update.window;
    // Whether the window was hidden is read before the update, as the search decided on it.
    const bool hidden = !controller_->window().isVisible();
    controller_->viewModel().apply(std::move(update));
    if (window == SearchUpdate::Window::show || (window == SearchUpdate::Window::showIfHidden && hidden)) {
        controller_->show();
    }
}

void PopupSearchDisplay::setScopeRegistry(ScopeRegistry registry) {
    controller_->viewModel().setScopeRegistry(std::move(registry));
}

bool PopupSearchDisplay::isVisible() const {
    return controller_->window().isVisible();
}

bool PopupSearchDisplay::isHelpMode() const {
    return controller_->viewModel().isHelpMode();
}

bool PopupSearchDisplay::isLiveScopeActive() const {
    return controller_->viewModel().isLiveScopeActive();
}

bool PopupSearchDisplay::showsLiveScope(const SnippetSource& source) const {
    const auto& model = controller_->viewModel();
    return model.mode() == PopupMode::search && model.isLiveScopeActive() && model.activeScope() == source;
}

std::vector<SearchResult> PopupSearchDisplay::allResults() const {
    return controller_->viewModel().allResults();
}

const SearchViewState& PopupSearchDisplay::viewState() const {
    return controller_->viewModel().viewState();
}

std::optional<std::string> PopupSearchDisplay::selectedSnippetID() const {
    auto snippet = controller_->viewModel().selectedSnippet();
    return snippet ? std::optional<std::string>(snippet->id) : std::nullopt;
}

} // namespace korvane
