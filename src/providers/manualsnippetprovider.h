#pragma once

#include "config/manualsnippet.h"
#include "model/snippet.h"
#include "model/snippetprovider.h"

#include <string>
#include <vector>

namespace korvane {

// Offers the user's manual snippets, followed by the built-in snippets whose keys no valid manual
// snippet takes. Holds no mutable state: any thread, any number of calls at once.
class ManualSnippetProvider final : public SnippetProvider {
public:
    explicit ManualSnippetProvider(std::vector<ManualSnippet> manualSnippets);

    const std::vector<ManualSnippet>& manualSnippets() const { return manualSnippets_; }

    // The same list for every project root.
    std::vector<Snippet> snippets(const std::string& projectRoot) override;

private:
    const std::vector<ManualSnippet> manualSnippets_;
};

} // namespace korvane
