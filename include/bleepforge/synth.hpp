#pragma once

#include <cstdint>
#include <vector>

#include "bleepforge/catalogue.hpp"

namespace bleepforge {

// Mono samples, one float per sample, each in [-1, 1].
using SampleBuffer = std::vector<float>;

// Renders a patch for duration_s seconds at rate_hz samples per second. The sample count is
// duration_s * rate_hz truncated toward zero; a product below 1, negative or not finite gives an
// empty buffer. Deterministic: the same arguments always give the same bytes. Never prints.
[[nodiscard]] SampleBuffer render_sfx(const SfxPatch& patch, double duration_s, std::int32_t rate_hz);

}  // namespace bleepforge
