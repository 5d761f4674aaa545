#pragma once

// Frames the NES tests and benchmarks share: notes written as a sound effect's driver writes them.

#include <cstdint>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge::testing_support {

inline std::uint8_t byte(int v) {
    return static_cast<std::uint8_t>(v);
}

// Pulse 1 sounding at period t: every channel enabled, duty d, constant volume v with the length
// halted, the sweep register as given ($08: off), the phase restarted by $4003.
inline FrameWrites pulse_1(int t, int duty = 2, int volume = 15, int sweep = 0x08) {
    return {{0x4015, 0x0F},
            {0x4000, byte(duty << 6 | 0x30 | volume)},
            {0x4001, byte(sweep)},
            {0x4002, byte(t & 0xFF)},
            {0x4003, byte(t >> 8)}};
}

// A busy sound: pulse 1 with a new pitch (around 300 Hz) and volume every frame, and the noise at a
// short period (index noise_period) with a new volume every frame; count frames, then silence.
inline std::vector<FrameWrites> busy_frames(int count, int noise_period = 3) {
    std::vector<FrameWrites> frames;
    frames.push_back({{0x4015, 0x0F}, {0x400E, byte(noise_period)}, {0x400F, 0x08}});
    for (int k = 0; k < count; ++k) {
        const int t = 400 - 4 * (k % 50);
        frames.push_back({{0x4000, byte(0xB0 | (15 - k % 16))},
                          {0x4002, byte(t & 0xFF)},
                          {0x4003, byte(t >> 8)},
                          {0x400C, byte(0x30 | (3 + k % 13))}});
    }
    frames.push_back({{0x4015, 0x00}});
    return frames;
}

}  // namespace bleepforge::testing_support
