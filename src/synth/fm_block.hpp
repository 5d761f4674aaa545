#pragma once

#include <cstddef>

namespace bleepforge::voice {

// voices[j] = fm_voice(phases[j], mod_phases[j], fm_index) for every j < count: four samples at a
// time with AVX2 (where the processor has it) or WebAssembly SIMD, one at a time elsewhere. Either
// way the floats are exactly those of the library sine.
void fm_voices(const double* phases, const double* mod_phases, double fm_index, float* voices,
               std::size_t count);

}  // namespace bleepforge::voice
