#pragma once

// The fast sine's error bound at the top of its input range, checked directly on the four-lane
// code (AVX2 natively, WebAssembly SIMD in the module) as on the scalar one. Shared by the native
// unit test and a check program built for WebAssembly, which has no test framework.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fast_sine.hpp"
#include "fm_block.hpp"
#include "sine.hpp"
#include "test_random.hpp"

namespace bleepforge::testing_support {

struct SineBoundResult {
    double worst_error;         // the largest |four-lane sine - nearest_sine| seen
    double worst_at;            // where
    std::size_t count;          // arguments checked
    std::size_t unlike_scalar;  // lanes whose bits differ from the scalar fast_sine's
};

// Arguments from half the limit to the limit, of both signs, the limit itself and its neighbours,
// through the four-lane function in one block whose length is not a multiple of four.
inline SineBoundResult four_lane_sine_bound(std::uint64_t seed) {
    SplitMix rng{seed};
    std::vector<double> x;
    for (int n = 0; n < 200001; ++n) {
        x.push_back((rng.next() % 2 == 0 ? 1.0 : -1.0) *
                    rng.uniform(voice::fast_sine_limit / 2, voice::fast_sine_limit));
    }
    for (const double edge : {voice::fast_sine_limit, std::nextafter(voice::fast_sine_limit, 0.0),
                              voice::fast_sine_limit - 0.5, voice::fast_sine_limit - 0.75, 1048575.25}) {
        x.push_back(edge);
        x.push_back(-edge);
    }
    std::vector<double> sines(x.size());
    voice::fast_sines(x.data(), sines.data(), x.size());
    SineBoundResult result{0.0, 0.0, x.size(), 0};
    for (std::size_t j = 0; j < x.size(); ++j) {
        const double error = std::fabs(sines[j] - voice::nearest_sine(x[j]));
        if (!(error <= result.worst_error)) {
            result.worst_error = error;
            result.worst_at = x[j];
        }
        const double scalar = voice::fast_sine(x[j]);
        // Compared as bytes: not every standard library here has std::bit_cast.
        result.unlike_scalar += std::memcmp(&sines[j], &scalar, sizeof scalar) != 0;
    }
    return result;
}

}  // namespace bleepforge::testing_support
