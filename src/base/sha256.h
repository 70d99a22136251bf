#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The SHA-256 digest of `bytes`. Any thread.
Sha256Digest sha256(std::string_view bytes);

// `bytes` written as lower-case hexadecimal, two digits per byte in order.
std::string lowerHex(const std::uint8_t* bytes, std::size_t count);

} // namespace korvane
