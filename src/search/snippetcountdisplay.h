#pragma once

#include <cstddef>

namespace korvane {

// Where the shell shows how many snippets are loaded (the status menu's count item). The search side
// reports the count after it changed the registry; the shell implements it. Main thread.
class SnippetCountDisplay {
public:
    virtual ~SnippetCountDisplay() = default;
    virtual void setSnippetCount(std::size_t count) = 0;
};

} // namespace korvane
