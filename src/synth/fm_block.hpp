#pragma once

#include <cstddef>

namespace bleepforge::voice {

// voices[j] = fm_voice(phases[j], mod_phases[j], fm_index) for every j < count: four samples at a
// time with AVX2 (where the processor has it) or WebAssembly SIMD, one at a time elsewhere. Either
// way the floats are exactly those of nearest_sine.
void fm_voices(const double* phases, const double* mod_phases, double fm_index, float* voices,
               std::size_t count);

// out[j] = fast_sine(x[j]) for every j < count, through the same four-lane code as fm_voices where
// the lanes are available, so a test can hold the lanes to the scalar sine's error bound.
void fast_sines(const double* x, double* out, std::size_t count);

// Whether fm_voices and fast_sines run four lanes at a time on this machine.
[[nodiscard]] bool four_lanes_available();

}  // namespace bleepforge::voice
