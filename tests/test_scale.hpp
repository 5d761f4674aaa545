#pragma once

#include <cstdint>

namespace bleepforge::testing_support {

// How many random cases a property runs: all of them in an optimised build, fewer in an unoptimised
// one (debug and the sanitizers, some ten times slower), which is there for what the address and
// undefined-behaviour checks find on every path rather than for more seeds. The recorded hashes
// never take this: every build checks every recorded byte.
constexpr std::uint64_t random_cases([[maybe_unused]] std::uint64_t optimised,
                                     [[maybe_unused]] std::uint64_t unoptimised) {
#ifdef __OPTIMIZE__
    return optimised;
#else
    return unoptimised;
#endif
}

}  // namespace bleepforge::testing_support
