#pragma once

#include "model/snippetscope.h"
#include "model/snippetsource.h"

#include <map>
#include <optional>
#include <string>

namespace korvane {

// One completion item, whatever produced it. `id` is a source prefix ("manual:", "builtin:",
// "file:", "git:branch:", ...) followed by the producer's key; history and de-duplication key on it.
struct Snippet {
    std::string id;
    std::string label;
    std::string expansion;
    SnippetSource source = SnippetSource::manual();
    std::optional<std::string> description;
    std::optional<std::string> displayName;
    std::optional<std::map<std::string, std::string>> metadata;
    std::optional<std::string> url;
    std::optional<SnippetScope> scope;
    std::optional<std::string> badgeText;

    // A snippet with a non-empty URL opens it on acceptance instead of inserting text.
    bool isUrlSnippet() const { return url.has_value() && !url->empty(); }
    // The text of the row's badge: the snippet's own badge text, else its source's label.
    std::string badge() const;
    // Whether its label and display name hold no control character (bidirectional ones included),
    // line break or undecodable byte. Names come from projects and commands: one that does could
    // carry a terminal sequence or read otherwise than it is, and is never offered.
    bool hasPlainName() const;
};

} // namespace korvane
