#pragma once

// The frames the Game Boy model is held to the GBS players with (libgme and gbsplay): hand-made notes
// and random sound effects, each a case of its own.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "bleepforge/hardware.hpp"
#include "gb_sounds.hpp"
#include "test_random.hpp"

namespace bleepforge::testing_support {

struct GbCase {
    std::string name;
    std::vector<FrameWrites> frames;
};

// A frame's writes, then frames - 1 frames without any.
inline std::vector<FrameWrites> gb_held(FrameWrites start, int frames) {
    std::vector<FrameWrites> out{std::move(start)};
    out.resize(static_cast<std::size_t>(frames));
    return out;
}

inline void gb_append(std::vector<FrameWrites>& to, const std::vector<FrameWrites>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// Both channels silenced without a pop: volume 0 with the DAC on, and a trigger.
inline const FrameWrites gb_silence = {{0xFF12, 0x08}, {0xFF14, 0x80}, {0xFF21, 0x08}, {0xFF23, 0x80}};

// A random sound effect as a driver writes one: CH1 and CH4 at a constant volume or on an envelope,
// retriggered now and then, CH1's period changed without a trigger, either silenced by NRx2 = $08 and a
// trigger, both silenced at the end.
inline std::vector<FrameWrites> gb_random_effect(std::uint64_t seed) {
    SplitMix random{seed};
    auto pick = [&](int n) { return static_cast<int>(random.next() % static_cast<std::uint64_t>(n)); };
    auto volume = [&] {
        const int v = 1 + pick(15);
        if (pick(3) != 0) {
            return v << 4;  // constant
        }
        return v << 4 | (pick(4) == 0 && v < 15 ? 0x08 : 0) | (1 + pick(7));  // an envelope, mostly down
    };
    std::vector<FrameWrites> frames;
    int x = 1100 + pick(900);
    frames.push_back({{0xFF11, gb_byte(pick(4) << 6)},
                      {0xFF12, gb_byte(volume())},
                      {0xFF13, gb_byte(x & 0xFF)},
                      {0xFF14, gb_byte(0x80 | x >> 8)},
                      {0xFF21, gb_byte(volume())},
                      {0xFF22, gb_byte(pick(8) << 4 | pick(2) << 3 | pick(8))},
                      {0xFF23, 0x80}});
    const int count = 60 + pick(60);
    for (int k = 0; k < count; ++k) {
        FrameWrites f;
        const int ch1 = pick(12);
        if (ch1 < 3) {  // a new note: duty, volume, period and a trigger
            x = 1100 + pick(900);
            f.insert(f.end(), {{0xFF11, gb_byte(pick(4) << 6)},
                               {0xFF12, gb_byte(volume())},
                               {0xFF13, gb_byte(x & 0xFF)},
                               {0xFF14, gb_byte(0x80 | x >> 8)}});
        } else if (ch1 < 8) {  // a new period, NR14 only where its high bits change
            const int next = std::clamp(x + pick(81) - 40, 1100, 2000);
            f.push_back({0xFF13, gb_byte(next & 0xFF)});
            if (next >> 8 != x >> 8) {
                f.push_back({0xFF14, gb_byte(next >> 8)});
            }
            x = next;
        } else if (ch1 == 8) {
            f.insert(f.end(), {{0xFF12, 0x08}, {0xFF14, gb_byte(0x80 | x >> 8)}});
        }
        const int ch4 = pick(10);
        if (ch4 < 2) {
            f.insert(f.end(), {{0xFF21, gb_byte(volume())},
                               {0xFF22, gb_byte(pick(8) << 4 | pick(2) << 3 | pick(8))},
                               {0xFF23, 0x80}});
        } else if (ch4 == 2) {
            f.insert(f.end(), {{0xFF21, 0x08}, {0xFF23, 0x80}});
        }
        frames.push_back(std::move(f));
    }
    frames.push_back(gb_silence);
    return frames;
}

// The hand-made cases, then random effects.
inline std::vector<GbCase> gb_hand_cases() {
    std::vector<GbCase> all;

    std::vector<FrameWrites> duties;
    for (int duty = 0; duty < 4; ++duty) {
        gb_append(duties, gb_held(gb_pulse(1750, duty), 10));  // 131072 / 298 = 439.84 Hz
    }
    duties.push_back(gb_silence);
    all.push_back({"440 Hz at each duty", duties});

    std::vector<FrameWrites> volumes;
    for (int v = 1; v <= 15; ++v) {
        gb_append(volumes, gb_held({{0xFF12, gb_byte(v << 4)}, {0xFF14, 0x86}}, 4));
    }
    volumes.front().insert(volumes.front().begin(), {{0xFF11, 0x80}, {0xFF13, 0xD6}});
    volumes.push_back(gb_silence);
    all.push_back({"440 Hz at volumes 1-15 by retrigger", volumes});

    std::vector<FrameWrites> envelope = gb_held(gb_pulse(1750, 2, 0xF1), 18);  // down a step a 64 Hz tick
    gb_append(envelope, gb_held(gb_pulse(1792, 1, 0x1B), 46));                 // up every 3rd tick
    gb_append(envelope, gb_held(gb_pulse(1700, 2, 0xA7), 40));                 // down every 7th
    envelope.push_back(gb_silence);
    all.push_back({"envelope steps", envelope});

    std::vector<FrameWrites> slide{gb_pulse(1500, 2)};
    for (int x = 1508, high = 1500 >> 8; x <= 1950; x += 8) {  // the period alone, no trigger
        FrameWrites f{{0xFF13, gb_byte(x & 0xFF)}};
        if (x >> 8 != high) {
            f.push_back({0xFF14, gb_byte(x >> 8)});
            high = x >> 8;
        }
        slide.push_back(f);
    }
    slide.push_back(gb_silence);
    all.push_back({"pitch slide by period writes", slide});

    // CH1's own sweep: up by x / 16 every 7 ticks of 128 Hz from 1200 until it passes $7FF and turns
    // the channel off; then down by x / 16 from 1950.
    FrameWrites up = gb_pulse(1200, 2);
    up[0].value = 0x74;
    std::vector<FrameWrites> sweep = gb_held(up, 40);
    FrameWrites down = gb_pulse(1950, 2);
    down[0].value = 0x7C;
    gb_append(sweep, gb_held(down, 50));
    sweep.push_back({{0xFF10, 0x00}, {0xFF12, 0x08}, {0xFF14, 0x80}});
    all.push_back({"pitch sweep by NR10", sweep});

    std::vector<FrameWrites> noise;
    for (const int width : {0x00, 0x08}) {
        for (const int clock : {0x00, 0x11, 0x23, 0x35, 0x47, 0x52}) {
            gb_append(noise, gb_held(gb_noise(clock | width), 6));
        }
    }
    gb_append(noise, gb_held(gb_noise(0x21, 0xF2), 40));  // and an envelope
    noise.push_back(gb_silence);
    all.push_back({"noise in 15- and 7-bit modes", noise});

    std::vector<FrameWrites> on_off;
    for (int i = 0; i < 6; ++i) {
        gb_append(on_off, gb_held(gb_pulse(1850, 2, 0xC0), 3));
        gb_append(on_off, gb_held({{0xFF12, 0x00}}, 3));  // the DAC off
        gb_append(on_off, gb_held({{0xFF12, 0x90}, {0xFF14, 0x87}}, 2));
        gb_append(on_off, gb_held({{0xFF12, 0x08}, {0xFF14, 0x87}}, 2));  // volume 0, the DAC on
    }
    all.push_back({"on and off", on_off});

    for (std::uint64_t seed = 1; seed <= 24; ++seed) {
        all.push_back({"random effect " + std::to_string(seed), gb_random_effect(seed)});
    }
    return all;
}

}  // namespace bleepforge::testing_support
