#pragma once

#include "model/snippet.h"
#include "model/snippetsource.h"
#include "model/searchresult.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// One titled group of items in browser mode, identified by the category id it was made for. The id,
// title and sources are fixed when it is made; whoever assembles the browser list may change the rest.
class SnippetSection {
public:
    SnippetSection(std::string id, std::string title, std::vector<SnippetSource> sources)
        : id_(std::move(id))
        , title_(std::move(title))
        , sources_(std::move(sources)) {}

    const std::string& id() const { return id_; }
    const std::string& title() const { return title_; }
    const std::vector<SnippetSource>& sources() const { return sources_; }

    // The items in display order; browser mode highlights nothing, so their ranges are empty.
    std::vector<SearchResult> results;
    // The number of items of the category, when the section counts them.
    std::optional<std::size_t> totalCount;
    // The category's items are still on their way (the project's sources are being read): its count
    // is not known yet.
    bool isLoading = false;
    // The scope token that drills into this category.
    std::optional<std::string> scopeHint;
    bool isProjectHeader = false;
    bool isFooter = false;

    // A section of snippets that the browser lists as a category: neither the project header nor a footer.
    bool isCategory() const { return !isProjectHeader && !isFooter; }
    // A hint shown in place of items.
    std::optional<std::string> helpText;

private:
    std::string id_;
    std::string title_;
    std::vector<SnippetSource> sources_;
};

} // namespace korvane
