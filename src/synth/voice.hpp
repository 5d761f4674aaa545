#pragma once

// The renderer's small steps, each its own idea, exposed for tests.

#include <cstdint>

#include "bleepforge/catalogue.hpp"

namespace bleepforge::voice {

inline constexpr double two_pi = 6.283185307179586;
inline constexpr double pi = 3.141592653589793;

// Envelope level at time t_s, clamped to [0, 1] and narrowed to float; 0 after the release.
[[nodiscard]] float envelope_level(const SfxPatch& patch, double t_s);

// Elapsed fraction of the current cycle, in [0, 1), also for a phase that runs backwards.
[[nodiscard]] double cycle_position(double phase);

[[nodiscard]] float pulse(double cycle_pos, double duty);
[[nodiscard]] float stepped_triangle(double cycle_pos);
[[nodiscard]] float saw_pulse(double cycle_pos, double duty);

// One step of the 15-bit noise register; returns the output bit (bit 0 after the shift).
[[nodiscard]] bool step_lfsr(std::uint32_t& lfsr);
[[nodiscard]] float mix_noise(float voice, bool bit);

// Two-pole state-variable low-pass; the state is carried in double.
struct FilterState {
    double low = 0.0;
    double band = 0.0;
};
[[nodiscard]] float filter_sample(FilterState& state, float in, double freq_hz, const SfxPatch& patch,
                                  double rate_hz);

}  // namespace bleepforge::voice
