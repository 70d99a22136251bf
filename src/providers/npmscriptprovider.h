#pragma once

#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <string>
#include <vector>

namespace korvane {

// Offers the scripts of the package.json in a project's root, ordered by name and described by their
// commands. Stateless; any thread.
class NpmScriptProvider final : public SnippetProvider {
public:
    std::vector<Snippet> snippets(const std::string& projectRoot) override;
};

} // namespace korvane
