#pragma once

#include "platform/fake/manualscheduler.h"
#include "popup/popupviewmodel.h"
#include "recordingdetailcontroller.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace korvane::test {

inline SearchResult result(const std::string& id, SnippetSource source = SnippetSource::manual(),
                           std::map<std::string, std::string> metadata = {}) {
    auto snippet = std::make_shared<Snippet>();
    snippet->id = id;
    snippet->label = id;
    snippet->expansion = id;
    snippet->source = std::move(source);
    if (!metadata.empty()) {
        snippet->metadata = std::move(metadata);
    }
    return SearchResult{std::move(snippet), {}};
}

inline std::vector<SearchResult> results(const std::vector<std::string>& ids) {
    std::vector<SearchResult> out;
    for (const auto& id : ids) {
        out.push_back(result(id));
    }
    return out;
}

inline SnippetSection section(const std::string& id, const std::vector<std::string>& ids) {
    SnippetSection section(id, id, {SnippetSource::manual()});
    section.results = results(ids);
    return section;
}

inline SearchRow headerRow(const std::string& sectionID, std::size_t count = 0) {
    return SearchRow{SearchRowKind::sectionHeader(sectionID, sectionID, count), "header:" + sectionID,
                     sectionID, false};
}

inline SearchRow snippetRow(const std::string& id) {
    return SearchRow{SearchRowKind::snippet(result(id), "snippets"), "snippet:" + id, "snippets", true};
}

inline SearchRow scopeRow(const std::string& alias) {
    ScopeDefinition definition{alias, alias, {alias}, alias, "", {SnippetSource::gitRef()}};
    return SearchRow{SearchRowKind::scope(definition, "scopes", false), "scope:" + alias, "scopes", true};
}

// A presentation of these rows whose snippet results are the snippet rows' results.
inline SearchPresentation presentation(std::vector<SearchRow> rows,
                                       std::optional<std::string> initial = std::nullopt) {
    SearchPresentation presentation;
    for (const auto& row : rows) {
        if (const auto* snippet = row.kind.asSnippet()) {
            presentation.snippetResults.push_back(snippet->result);
        }
    }
    presentation.rows = std::move(rows);
    presentation.initialSelectedRowID = std::move(initial);
    return presentation;
}

// A view model with a recording detail controller, on virtual time.
class PopupHarness {
public:
    PopupHarness() {
        model = PopupViewModel::create(DetailPreviewTiming::popup(), scheduler,
                                       [this](const DetailPreviewTiming&) {
                                           auto controller = std::make_shared<RecordingDetailController>();
                                           detail = controller.get();
                                           return controller;
                                       });
        model->addObserver([this] { ++notifications; });
    }

    void search(const std::vector<std::string>& ids, bool bareScope = false) {
        model->showSearchResults(results(ids), std::nullopt, std::nullopt, false, false, false, bareScope,
                                 std::nullopt, SearchEmptyState::Style::standard);
    }
    void searchEmpty(SearchEmptyState::Style style) {
        model->showSearchResults({}, std::nullopt, std::nullopt, false, false, false, false,
                                 std::string("No matches"), style);
    }
    void present(SearchPresentation presentation) {
        model->showSearchPresentation(std::move(presentation), std::nullopt, std::nullopt, false, false,
                                      false, false);
    }
    std::string selectedID() const {
        auto snippet = model->selectedSnippet();
        return snippet ? snippet->id : "none";
    }

    ManualScheduler scheduler;
    RecordingDetailController* detail = nullptr;
    std::shared_ptr<PopupViewModel> model;
    int notifications = 0;
};

class PopupViewModelTest : public ::testing::Test, public PopupHarness {};

} // namespace korvane::test
