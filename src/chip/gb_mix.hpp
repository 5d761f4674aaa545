#pragma once

// The Game Boy model's mixer and output stage, the only floating point of it: a channel's output (as
// dmg.hpp reports it) to a level, the panning, and the high-pass capacitor's factor at the output rate.

#include <cstdint>

#include "bleepforge/gameboy.hpp"

namespace bleepforge::dmg {

// "Audio Details", DACs: the level of a channel's output, before the panning. Console: digital d to
// analog 1 - d / 7.5, output_silent (DAC on, channel off) at 1, output_dac_off at 0. Bipolar: a pulse's
// or the noise's level less the midpoint of its two values (1 - volume / 15), the wave's as it is, and
// 0 while the channel is off.
[[nodiscard]] double analog_level(int channel, std::uint8_t output, GbDac dac);

// "Audio Details", Mixer: a channel's share of the mono mix for NR50 and NR51, the mean of the two
// sides, each side it goes to at its NR50 volume (v + 1) / 8: from 1/16 to 1.
[[nodiscard]] double panning_weight(int channel, std::uint8_t nr50, std::uint8_t nr51);

// "Audio Details", Mixer: the share of its charge the high-pass capacitor keeps from one sample to the
// next at rate_hz, 0.999958^(4194304 / rate) from our own logarithm and exponential: 0.996013 at 44100
// Hz, 0.996337 at 48000 Hz.
[[nodiscard]] double charge_factor(std::int32_t rate_hz);

}  // namespace bleepforge::dmg
