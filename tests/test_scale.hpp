#pragma once

#include <cstdint>

namespace bleepforge::testing_support {

// Whether this build runs every case: an optimised one does; an unoptimised one (debug and the
// sanitizers, some ten times slower) runs fewer, since it is there for what the address and
// undefined-behaviour checks find on every path rather than for more seeds. The recorded hashes
// never take this: every build checks every recorded byte.
#ifdef __OPTIMIZE__
constexpr bool every_case = true;
#else
constexpr bool every_case = false;
#endif

// How many random cases a property runs, by the above.
constexpr std::uint64_t random_cases(std::uint64_t optimised, std::uint64_t unoptimised) {
    return every_case ? optimised : unoptimised;
}

}  // namespace bleepforge::testing_support
