#pragma once

#include "base/clock.h"
#include "platform/fake/fakecaretlocator.h"
#include "platform/fake/fakefocusedwindowframe.h"
#include "platform/fake/fakepointerlocation.h"
#include "platform/fake/fakepopupsurfacewindow.h"
#include "platform/fake/fakescreenlist.h"
#include "platform/fake/manualscheduler.h"
#include "popup/popupcontroller.h"
#include "popup/popupsearchdisplay.h"
#include "popup/recordingdetailcontroller.h"
#include "search/searchcoordinator.h"
#include "searchtestsupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace korvane::test {

inline Snippet snippetNamed(const std::string& key, std::optional<std::string> url = std::nullopt) {
    Snippet snippet = *manualSnippet(key);
    snippet.url = std::move(url);
    return snippet;
}

// A search coordinator over a real registry, popup controller and view model, fake screens and file
// source, and virtual time; its tests type queries and read what the popup shows.
class SearchCoordinatorFixture : public ::testing::Test {
protected:
    using Context = SearchCoordinator::LiveSearchContext;

    SearchCoordinatorFixture() {
        manual.attachClock(&clock);
        screens.list = {{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
        controller = PopupController::create(
            manual, {screens, caret, focusedWindow, pointer},
            [this](std::shared_ptr<PopupViewModel>) {
                auto made = std::make_unique<FakePopupSurfaceWindow>();
                window = made.get();
                return made;
            },
            [this](const DetailPreviewTiming&) {
                auto made = std::make_shared<test::RecordingDetailController>();
                detail = made.get();
                return made;
            });
        setSnippets({"alpha", "alpine", "alto", "beta", "@foo-helper"});
        coordinator = SearchCoordinator::create(registry, std::make_shared<PopupSearchDisplay>(controller),
                                                staged, clock);
        files = std::make_shared<test::FakeFileSource>();
        coordinator->filePathSource = files;
        coordinator->liveScopeProviders[SnippetSource::filePath()] = files;
        coordinator->onDismissNeeded = [this] {
            ++dismissals;
            coordinator->resetSession();
            controller->hide();
        };
        coordinator->contextProvider = [this] { return std::optional<Context>(context); };
        context.projectRoot = "/p";
        context.activeCategories = defaultActiveCategories();
    }

    void setSnippets(std::initializer_list<const char*> keys, std::vector<Snippet> extra = {}) {
        for (const auto* key : keys) {
            extra.push_back(snippetNamed(key));
        }
        registry.updateSnippets(SnippetSource::manual(), std::move(extra));
    }
    void type(const std::string& query) {
        if (!coordinator->shouldSkipDuplicateInput(query)) {
            coordinator->performSearch(query, SearchSource::input, context);
        }
        manual.runUntilIdle();
    }
    // What the subsystem 9 coordinator does for an arrow key.
    void arrowDown() {
        viewModel().moveSelectionDown();
        auto& engine = coordinator->asyncUpdateEngine();
        engine.lastNavigationTime = engine.currentTime();
        std::weak_ptr<SearchCoordinator> weak = coordinator;
        engine.scheduleDeferredIdle([weak] {
            if (auto c = weak.lock()) {
                c->flushDeferredWork();
            }
        });
    }
    PopupViewModel& viewModel() { return controller->viewModel(); }
    std::vector<std::string> shownIDs() {
        const auto& presentation = viewModel().searchPresentation();
        return presentation ? ids(presentation->snippetResults) : ids(viewModel().viewState().resultList());
    }
    std::optional<std::string> shownMessage() {
        const auto& presentation = viewModel().searchPresentation();
        if (presentation) {
            return presentation->message;
        }
        const auto* empty = viewModel().viewState().emptyState();
        return empty ? std::optional<std::string>(empty->message) : std::nullopt;
    }
    bool contains(const std::vector<std::string>& list, const std::string& id) {
        return std::find(list.begin(), list.end(), id) != list.end();
    }

    FakeClock clock;
    ManualScheduler manual;
    test::StagedScheduler staged{manual};
    FakeScreenList screens;
    FakeCaretLocator caret;
    FakeFocusedWindowFrame focusedWindow;
    FakePointerLocation pointer;
    FakePopupSurfaceWindow* window = nullptr;
    test::RecordingDetailController* detail = nullptr;
    std::shared_ptr<PopupController> controller;
    SnippetRegistry registry{clock};
    std::shared_ptr<SearchCoordinator> coordinator;
    std::shared_ptr<test::FakeFileSource> files;
    Context context;
    int dismissals = 0;
};


} // namespace korvane::test
