#pragma once

#include "config/popupposition.h"
#include "model/searchresult.h"
#include "model/snippetsource.h"
#include "presentation/searchpresentation.h"
#include "presentation/searchviewstate.h"
#include "registry/querychip.h"
#include "registry/snippetsection.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace korvane {

// One answer of the search as the popup is to show it: the content that replaces what it shows (or
// none), with the query, the loading mark and the entry to keep selected, so that the popup takes it
// as one change. Made and applied on the main thread.
struct SearchUpdate {
    // How a result list or an @-context's rows are framed.
    struct Shell {
        std::optional<QueryChip> displayChip;
        std::optional<SnippetSource> activeScope;
        bool urlOnly = false;
        bool scopeDisabled = false;
        bool isLiveScopeActive = false;
        bool isBareScope = false;
    };
    // The scope help.
    struct Help {};
    // The browser's categories for an empty query.
    struct Browser {
        std::vector<SnippetSection> sections;
        bool urlOnly = false;
    };
    // A plain result list; the empty state shows when the list is empty.
    struct Results {
        std::vector<SearchResult> results;
        std::optional<SearchEmptyState> emptyState;
        Shell shell;
    };
    // What an @-context shows: its scope and snippet rows and its message.
    struct Composed {
        SearchPresentation presentation;
        Shell shell;
    };
    using Content = std::variant<std::monostate, Help, Browser, Results, Composed>;
    // Whether the window is (re)placed and shown after the update.
    enum class Window { unchanged, show, showIfHidden };

    std::optional<std::string> query;
    bool exitHelpMode = false;
    std::optional<bool> loadingRecentFiles;
    // Whether a source of what is shown is still running (a scope's command, a file query, a scan):
    // until it ends an empty list is no answer.
    std::optional<bool> sourcesRunning;
    // The project whose files the content lists; stored with every content but the help.
    std::optional<std::string> projectRoot;
    Content content;
    // The entry selected once the content is in, when the new list still holds it.
    std::optional<std::string> selectSnippetID;
    std::optional<PopupPosition> position;
    Window window = Window::unchanged;

    bool hasContent() const { return !std::holds_alternative<std::monostate>(content); }
};

} // namespace korvane
