#pragma once

#include <cstddef>
#include <cstdint>

#include "bleepforge/synth.hpp"

namespace bleepforge {

// Samples for duration_s * rate_hz, truncated toward zero; 0 when that is not a finite count of
// at least one or either factor is not positive.
[[nodiscard]] std::uint64_t sample_count_of(double duration_s, std::int32_t rate_hz);

// The count as the buffer's length. Where size_t is narrower than 64 bits (WebAssembly) a count it
// cannot hold raises the same length error the container raises for any count too large for it.
[[nodiscard]] std::size_t buffer_length(std::uint64_t sample_count);

// The renderer written step by step in the plainest form. render_sfx must give exactly its
// bytes; the tests hold the two side by side.
[[nodiscard]] SampleBuffer render_sfx_reference(const SfxPatch& patch, double duration_s,
                                                std::int32_t rate_hz);

}  // namespace bleepforge
