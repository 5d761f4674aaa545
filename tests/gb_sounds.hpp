#pragma once

// Frames the Game Boy tests and benchmarks share: notes written as a sound effect's driver writes them.

#include <cstdint>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge::testing_support {

inline std::uint8_t gb_byte(int v) {
    return static_cast<std::uint8_t>(v);
}

// CH1 triggered at period value x: duty d, NR12 as given (initial volume, direction, pace), length off,
// the sweep off.
inline FrameWrites gb_pulse(int x, int duty = 2, int nr12 = 0xF0) {
    return {{0xFF10, 0x00},
            {0xFF11, gb_byte(duty << 6)},
            {0xFF12, gb_byte(nr12)},
            {0xFF13, gb_byte(x & 0xFF)},
            {0xFF14, gb_byte(0x80 | (x >> 8))}};
}

// CH4 triggered with NR43 as given and NR42 as given, length off.
inline FrameWrites gb_noise(int nr43, int nr42 = 0xF0) {
    return {{0xFF21, gb_byte(nr42)}, {0xFF22, gb_byte(nr43)}, {0xFF23, 0x80}};
}

// A busy effect: CH1 with a new period and volume every frame (written as a driver does, NR12 then a
// retrigger), and CH4 at NR43 = noise with a new volume every frame; count frames, then both silenced
// with NRx2 = $08 and a trigger.
inline std::vector<FrameWrites> gb_busy_frames(int count, int noise = 0x31) {
    std::vector<FrameWrites> frames;
    frames.push_back({{0xFF11, 0x80}, {0xFF22, gb_byte(noise)}});
    for (int k = 0; k < count; ++k) {
        const int x = 1600 + 8 * (k % 50);
        frames.push_back({{0xFF12, gb_byte((15 - k % 16) << 4)},
                          {0xFF13, gb_byte(x & 0xFF)},
                          {0xFF14, gb_byte(0x80 | (x >> 8))},
                          {0xFF21, gb_byte((3 + k % 13) << 4)},
                          {0xFF23, 0x80}});
    }
    frames.push_back({{0xFF12, 0x08}, {0xFF14, 0x80}, {0xFF21, 0x08}, {0xFF23, 0x80}});
    return frames;
}

}  // namespace bleepforge::testing_support
