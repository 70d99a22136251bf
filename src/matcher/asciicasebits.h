#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvane {

// Which characters of a label as typed are upper-case ASCII letters, for a label whose spelling as
// typed differs from its lower-cased spelling in nothing else. The prepared record keeps these bits
// instead of a second copy of the label, from which a search that respects case restores the label as
// typed. Plain value.
class AsciiCaseBits {
public:
    static constexpr std::size_t capacity = 128;
    // Room enough to restore a label into.
    using Buffer = std::array<char, capacity>;

    AsciiCaseBits() = default;

    // The bits that turn `lowered` into `typed`, both one byte per character; nothing when the two
    // differ in anything but the case of ASCII letters, or are longer than `capacity`.
    static std::optional<AsciiCaseBits> between(std::string_view typed, std::string_view lowered);

    // `lowered`, as given to between(), with its upper-case letters restored in `buffer`; `lowered`
    // itself when it has none.
    std::string_view restore(std::string_view lowered, Buffer& buffer) const;

private:
    using Words = std::array<std::uint64_t, capacity / 64>;

    Words upper_{};
};

} // namespace korvane
