#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace korvane::test {

// Up to `maxLength` pieces (strings or characters) drawn from `alphabet`, for seeded property tests.
template <class Alphabet>
std::string randomText(std::mt19937& random, const Alphabet& alphabet, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string text;
    for (std::size_t n = length(random); n > 0; --n) {
        text += alphabet[pick(random)];
    }
    return text;
}

} // namespace korvane::test
