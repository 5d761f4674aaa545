// The four-lane sine's error bound, for builds without the test framework (WebAssembly under Node):
// prints what it found and exits 1 when the bound or the lanes' agreement with the scalar sine fails.
#include <cstdio>

#include "sine_bound.hpp"

int main() {
    using namespace bleepforge;
    const testing_support::SineBoundResult result = testing_support::four_lane_sine_bound(2021);
    std::printf(
        "four-lane sine (%s): %zu arguments up to 2^20, worst error %.3g at %.17g (bound %.3g), "
        "%zu lanes unlike the scalar sine\n",
        voice::four_lanes_available() ? "lanes" : "no lanes, scalar", result.count, result.worst_error,
        result.worst_at, voice::sine_error_bound, result.unlike_scalar);
    const bool ok = result.worst_error < voice::sine_error_bound && result.unlike_scalar == 0 &&
                    voice::four_lanes_available();
    return ok ? 0 : 1;
}
