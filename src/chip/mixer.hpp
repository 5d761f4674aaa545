#pragma once

// "APU Mixer": the console mixes its channels non-linearly, the pulses in one group and the triangle,
// noise and DMC in another, into an output of 0.0 to 1.0.

#include <cstdint>

#include "apu.hpp"

namespace bleepforge::nes {

// 95.88 / (8128 / (p1 + p2) + 100), and 0 when both are 0; each pulse 0-15.
[[nodiscard]] double pulse_mix(int pulse1, int pulse2);
// 159.79 / (1 / (triangle / 8227 + noise / 12241 + dmc / 22638) + 100), and 0 when all are 0;
// triangle and noise 0-15, dmc 0-127.
[[nodiscard]] double tnd_mix(int triangle, int noise, int dmc);
// The group's level for a triangle value as the unit reports it: triangle_mean is the mean of the
// mix over the 32 steps, which is what every output band hears of a wave above it.
[[nodiscard]] double tnd_level(std::uint8_t triangle, std::uint8_t noise, std::uint8_t dmc);

// "APU Mixer", its linear approximation: 0.00752 (p1 + p2), and 0.00851 triangle + 0.00494 noise +
// 0.00335 dmc (the triangle's mean is 7.5).
[[nodiscard]] double linear_pulse_level(int pulse1, int pulse2);
[[nodiscard]] double linear_tnd_level(std::uint8_t triangle, std::uint8_t noise, std::uint8_t dmc);

}  // namespace bleepforge::nes
