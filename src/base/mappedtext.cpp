#include "base/mappedtext.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace korvane {
namespace {

// Mapped a page at a time: a listing of a few kilobytes takes no more.
const std::size_t step = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));

std::size_t roundedUp(std::size_t bytes) {
    return (bytes + step - 1) / step * step;
}

} // namespace

MappedText::MappedText(OutputBudget budget)
    : budget_(std::move(budget)) {}

MappedText::~MappedText() {
    if (data_ != nullptr) {
        ::munmap(data_, mapped_);
        budget_.giveBack(mapped_);
    }
}

bool MappedText::append(std::string_view bytes) {
    const std::size_t needed = size_ + bytes.size();
    if (needed > mapped_) {
        const std::size_t least = roundedUp(needed);
        if (!budget_.take(least - mapped_)) {
            return false;
        }
        // Room to grow on, a quarter as much again, at most half of what is left.
        std::size_t spare = budget_.takeUpTo(std::min(least / 4, budget_.left() / 2));
        budget_.giveBack(spare % step);
        spare -= spare % step;
        const std::size_t size = least + spare;
        void* at = data_ == nullptr
                       ? ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                       : ::mremap(data_, mapped_, size, MREMAP_MAYMOVE);
        if (at == MAP_FAILED) {
            budget_.giveBack(size - mapped_);
            return false;
        }
        data_ = static_cast<char*>(at);
        mapped_ = size;
    }
    if (!bytes.empty()) {
        std::memcpy(data_ + size_, bytes.data(), bytes.size());
    }
    size_ = needed;
    return true;
}

} // namespace korvane
