#pragma once

#include <cstdint>

namespace bleepforge::testing_support {

// A small deterministic generator for test inputs (SplitMix64), so every run checks the same ones.
struct SplitMix {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31U);
    }
    double unit() { return static_cast<double>(next() >> 11U) * 0x1p-53; }
    double uniform(double low, double high) { return low + (high - low) * unit(); }
};

}  // namespace bleepforge::testing_support
