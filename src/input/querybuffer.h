#pragma once

#include "base/graphemescanner.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace korvane {

// The text typed after the trigger: up to `capacity` bytes of whole characters, and a count of the
// characters that no longer fit. Every byte is wiped when removed; its owner serialises the calls.
class QueryBuffer {
public:
    static constexpr std::size_t capacity = 64;

    QueryBuffer() = default;
    ~QueryBuffer();
    QueryBuffer(const QueryBuffer&) = delete;
    QueryBuffer& operator=(const QueryBuffer&) = delete;

    // Stores each character that fits whole; once one does not, it and all later ones are only counted.
    void append(std::string_view characters);
    // Takes back the last typed character: an uncounted one first, else the last stored one.
    void removeLast();
    void clear();

    std::string_view bytes() const { return {bytes_.data(), length_}; }
    // The stored bytes when they are valid UTF-8, otherwise the empty text.
    std::string text() const;
    bool isEmpty() const { return length_ == 0 && overflow_ == 0; }
    bool isExactly(std::string_view text) const { return overflow_ == 0 && bytes() == text; }
    // Every character typed, stored or not.
    std::size_t characterCount() const { return characters_; }

private:
    void recount();

    std::array<char, capacity> bytes_{};
    std::size_t length_ = 0;
    std::size_t overflow_ = 0;
    std::size_t characters_ = 0;
    GraphemeScanner scanner_;
};

} // namespace korvane
