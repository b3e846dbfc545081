#pragma once

#include <cstdint>

// splitmix64: advances state and returns the next value. The same sequence for a seed with every
// compiler and library, so that a noise or fault pattern can be repeated.
inline std::uint64_t SplitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
