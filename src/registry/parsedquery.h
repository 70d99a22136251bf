#pragma once

#include "model/scopespec.h"
#include "model/snippetscope.h"
#include "model/snippetsource.h"
#include "registry/querychip.h"

#include <optional>
#include <string>
#include <vector>

namespace korvane {

class ScopeRegistry;

// A query split into the scope it names ("@git main", "@f/src") and the plain text to match. A plain
// query has no chip, no scope and both flags false. Parsing is pure; it runs on the main thread.
struct ParsedQuery {
    std::optional<QueryChip> displayChip;
    std::optional<SnippetSource> scope;
    // Every source the scope selects; absent when the query has no source scope.
    std::optional<std::vector<SnippetSource>> scopes;
    bool urlOnly = false;
    // Only ever `app`, set by the application-scoped filter.
    std::optional<SnippetScope> scopeFilter;
    std::string query;
    // The text is "@" alone or "@" and the start of a known token; `query` is then empty.
    bool isScopePending = false;

    // Reads the scope token of `text` against the registry's token tables. Never fails.
    static ParsedQuery parse(const std::string& text, const ScopeRegistry& registry);

    // The query of a text without a scope.
    static ParsedQuery plain(std::string text);
    // The query of a scope token that is not complete yet.
    static ParsedQuery pending();
    // The query that searches `query` within `scopeSpec`, named by `token`.
    static ParsedQuery scoped(const ScopeSpec& scopeSpec, const std::string& token, std::string query);

    bool operator==(const ParsedQuery&) const = default;
};

} // namespace korvane
