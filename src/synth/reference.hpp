#pragma once

#include <cstdint>

#include "bleepforge/synth.hpp"

namespace bleepforge {

// The renderer written step by step in the plainest form, for the tests, the fuzzers and the
// benchmarks only. render_sfx must give exactly its bytes; the tests hold the two side by side.
[[nodiscard]] SampleBuffer render_sfx_reference(const SfxPatch& patch, double duration_s,
                                                std::int32_t rate_hz);

}  // namespace bleepforge
