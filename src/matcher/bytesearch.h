#pragma once

#include <cstddef>
#include <string_view>

// Searches over plain bytes for the matcher's ASCII path, tuned for the short texts it sees by the
// hundred thousand per keystroke: a library call per step costs more there than the scan itself.
namespace korvane::detail {

// The offset of the first occurrence of `needle` in `haystack`, or npos; an empty needle is at 0.
std::size_t findBytes(std::string_view haystack, std::string_view needle);

// The offset of the first `byte` in `bytes` at or after `from` (at most the size), or the size.
std::size_t findByteFrom(std::string_view bytes, char byte, std::size_t from);

// The offset of the first separator ("-", "_", "/", ".") or ASCII upper-case letter in `bytes` at or
// after `from`, or the size: the only places where a segment of an ASCII text can begin or end.
std::size_t findSegmentMark(std::string_view bytes, std::size_t from);

// Copies `text` to `out` (room for text.size() bytes), lower-casing ASCII letters when `lowerCase`.
// Returns whether every byte is one character: ASCII without a "\r\n" pair.
bool copySingleByteClusters(std::string_view text, bool lowerCase, char* out);

} // namespace korvane::detail
