#pragma once

#include "base/outputbudget.h"

#include <cstddef>
#include <string_view>

namespace korvane {

// Bytes kept in memory mapped for them alone: grown without copying, and handed back to the system whole
// when the text goes, so that a large text read on some thread never stays with that thread's allocator.
// The pages it maps are taken from a budget. One thread at a time.
class MappedText {
public:
    explicit MappedText(OutputBudget budget);
    ~MappedText();
    MappedText(const MappedText&) = delete;
    MappedText& operator=(const MappedText&) = delete;

    // Appends `bytes`; false, leaving the text as it was, where the budget has too little left for the
    // pages it needs, or none can be mapped.
    bool append(std::string_view bytes);
    std::string_view view() const { return {data_, size_}; }

private:
    OutputBudget budget_;
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;
};

} // namespace korvane
