// The model held to libgme playing the NSF of the same frames: frame by frame and channel by channel,
// the pitch heard and the level, for hand-made notes and for random sound effects.
//
// What differs between the two, and how the comparison takes it:
// - libgme plays frame k one frame late (its first PLAY call is one period after INIT): the renders
//   are aligned by the constant offset (0 to 3 frames) that fits best, and it must be 1.
// - libgme's output has an 80 Hz high-pass and not the console's 90 Hz and 440 Hz ones: each render
//   gets the other's, libgme's samples our two high-passes, ours a first-order 80 Hz high-pass.
// - Each channel is compared alone (libgme's other voices muted; the model given only that channel's
//   writes): two channels sounding together add in a phase that the two renders do not share (the
//   triangle's phase is never reset, and libgme makes its writes later in the frame), and where their
//   harmonics meet, the level of their sum depends on it.
// - libgme mixes linearly, by the NESdev wiki's linear approximation (0.00752 a pulse step, 0.00851 a
//   triangle step, 0.00494 a noise step), where the console's mixer is not: one pulse at volume 4 is
//   -10.43 dB from 15 there and -11.48 dB linearly. So the levels are held with the model mixing
//   linearly too (NesMixer::linear), and the model's own mix within the tolerance plus the difference
//   between its two mixes, frame by frame: the compensation measured, not assumed.
// - The noise's level over a frame depends on where in its sequence the shift register is when it
//   clocks fewer than 100 times in the window (period index 9 and up), and in short mode the sequence
//   is one of 353, chosen by the register's state when the mode is set; the two renders' registers are
//   not in step (libgme's writes come later), so those frames' levels are not compared, only their
//   silence.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "apu.hpp"
#include "bleepforge/nes.hpp"
#include "bleepforge/nsf.hpp"
#include "bleepforge/sound.hpp"
#include "gme_compare.hpp"
#include "nes_sounds.hpp"
#include "output.hpp"
#include "test_random.hpp"

namespace bleepforge {
namespace {

using testing_support::best_offset;
using testing_support::byte;
using testing_support::compare_frames;
using testing_support::FrameFacts;
using testing_support::levels;
using testing_support::max_offset;
using testing_support::Measured;
using testing_support::pulse_1;
using testing_support::Window;
using testing_support::Worst;

constexpr std::int32_t rate = testing_support::gme_rate;
constexpr double infinity = std::numeric_limits<double>::infinity();

struct Case {
    std::string name;
    std::vector<FrameWrites> frames;
};

// A frame's writes, then frames - 1 frames without any.
std::vector<FrameWrites> held(FrameWrites start, int frames) {
    std::vector<FrameWrites> out{std::move(start)};
    out.resize(static_cast<std::size_t>(frames));
    return out;
}

void append(std::vector<FrameWrites>& to, const std::vector<FrameWrites>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// A random sound effect: pulse 1, the triangle and the noise at constant volume with their lengths
// halted and the sweep off, each changing now and then, as an effect's driver writes them.
std::vector<FrameWrites> random_effect(std::uint64_t seed) {
    testing_support::SplitMix random{seed};
    auto pick = [&](int n) { return static_cast<int>(random.next() % static_cast<std::uint64_t>(n)); };
    std::vector<FrameWrites> frames;
    frames.push_back({{0x4015, 0x0F}, {0x4001, 0x08}});
    int pulse_high = -1;
    const int count = 60 + pick(60);
    for (int k = 0; k < count; ++k) {
        FrameWrites f;
        if (pick(4) == 0) {  // pulse 1: a new note, a new volume or silence
            f.push_back({0x4000, byte(pick(4) << 6 | 0x30 | pick(16))});
        }
        if (pick(2) == 0) {  // a new period, $4003 only where its high bits change
            const int t = 0x40 + pick(0x4C0);
            f.push_back({0x4002, byte(t & 0xFF)});
            if (t >> 8 != pulse_high) {
                f.push_back({0x4003, byte(t >> 8)});
                pulse_high = t >> 8;
            }
        }
        if (pick(6) == 0) {  // the triangle on at a new period, or off
            if (pick(3) == 0) {
                f.push_back({0x4008, 0x80});
            } else {
                const int t = 0x30 + pick(0x300);
                f.insert(f.end(), {{0x4008, 0xFF}, {0x400A, byte(t & 0xFF)}, {0x400B, byte(0x08 | t >> 8)}});
            }
        }
        if (pick(5) == 0) {  // the noise: volume, period and mode
            f.push_back({0x400C, byte(0x30 | (pick(3) == 0 ? 0 : pick(16)))});
            f.push_back({0x400E, byte(pick(4) == 0 ? 0x80 | pick(16) : pick(16))});
            if (k == 0 || pick(8) == 0) {
                f.push_back({0x400F, 0x08});
            }
        }
        frames.push_back(std::move(f));
    }
    frames.push_back({{0x4000, 0x30}, {0x4008, 0x80}, {0x400C, 0x30}});
    return frames;
}

std::vector<Case> cases() {
    std::vector<Case> all;
    std::vector<FrameWrites> duties;
    for (int duty = 0; duty < 4; ++duty) {
        append(duties, held(pulse_1(253, duty), 10));
    }
    duties.push_back({{0x4000, 0x30}});
    all.push_back({"440 Hz at each duty", duties});

    std::vector<FrameWrites> volumes;
    for (int v = 1; v <= 15; ++v) {
        append(volumes, held({{0x4015, 0x0F}, {0x4000, byte(0xB0 | v)}, {0x4002, 253}, {0x4003, 0}}, 4));
    }
    volumes.push_back({{0x4000, 0x30}});
    all.push_back({"440 Hz at volumes 1-15", volumes});

    std::vector<FrameWrites> sweep{pulse_1(100, 1)};
    for (int t = 104, high = 0; t <= 1000; t += 12) {
        FrameWrites f{{0x4002, byte(t & 0xFF)}};
        if (t >> 8 != high) {
            f.push_back({0x4003, byte(t >> 8)});
            high = t >> 8;
        }
        sweep.push_back(f);
    }
    sweep.push_back({{0x4015, 0x00}});
    all.push_back({"pitch sweep down", sweep});

    std::vector<FrameWrites> triangle =
        held({{0x4015, 0x0F}, {0x4008, 0xFF}, {0x400A, 126}, {0x400B, 0x08}}, 20);
    for (int t = 60; t <= 400; t += 20) {
        triangle.push_back({{0x400A, byte(t & 0xFF)}, {0x400B, byte(0x08 | t >> 8)}});
    }
    triangle.push_back({{0x4008, 0x80}});
    triangle.resize(triangle.size() + 6);
    all.push_back({"triangle", triangle});

    std::vector<FrameWrites> noise;
    for (const int mode : {0x00, 0x80}) {
        for (const int period : {0, 4, 8, 12, 15}) {
            append(noise,
                   held({{0x4015, 0x0F}, {0x400C, 0x3C}, {0x400E, byte(mode | period)}, {0x400F, 0x08}}, 6));
        }
    }
    noise.push_back({{0x400C, 0x30}});
    all.push_back({"noise in both modes", noise});

    std::vector<FrameWrites> on_off;
    for (int i = 0; i < 6; ++i) {
        append(on_off, held(pulse_1(180, 2, 12), 3));
        append(on_off, held({{0x4015, 0x00}}, 3));
        append(on_off, held({{0x4015, 0x0F}, {0x4000, 0xBC}, {0x4003, 0}}, 2));
        append(on_off, held({{0x4000, 0xB0}}, 2));
    }
    all.push_back({"on and off", on_off});

    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        all.push_back({"random effect " + std::to_string(seed), random_effect(seed)});
    }
    // The sounds themselves: every preset's patch of every chip made hardware on the nes, and 100 random
    // hardware sounds of every family.
    for (std::size_t preset = 0; preset < preset_words.size(); ++preset) {
        for (std::size_t chip = 0; chip < chip_words.size(); ++chip) {
            Sound sound = make_sound(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip));
            sound.patch.chip = ChipType::nes;
            sound.patch.hardware = true;
            all.push_back({std::string(preset_words[preset]) + " of " + std::string(chip_words[chip]),
                           hardware_frames(sound.patch, sound.duration_s).frames});
        }
    }
    for (std::uint64_t seed = 0; seed < 100; ++seed) {
        const auto family = static_cast<SfxPreset>(seed % preset_words.size());
        const Sound sound = random_sound(family, ChipType::nes, seed, true);
        all.push_back(
            {"random " + std::string(preset_words[seed % preset_words.size()]) + " " + std::to_string(seed),
             hardware_frames(sound.patch, sound.duration_s).frames});
    }
    return all;
}

// libgme's render of the NSF with one voice alone, its left channel, with the console's two high-passes.
std::vector<double> libgme_render(const std::string& nsf, std::size_t count, int voice) {
    std::vector<double> left = testing_support::libgme_left(nsf, count, voice);
    chip::HighPass first(nes::high_pass_1_hz, rate, 0.0);
    chip::HighPass second(nes::high_pass_2_hz, rate, 0.0);
    for (double& x : left) {
        x = second.step(first.step(x));
    }
    return left;
}

// The model's render, with libgme's 80 Hz high-pass.
std::vector<double> model_render(const std::vector<FrameWrites>& frames, std::size_t count, NesMixer mixer) {
    const std::vector<float> samples = *render_nes(frames, rate, count, mixer);
    chip::HighPass bass(80.0, rate, 0.0);
    std::vector<double> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = bass.step(static_cast<double>(samples[i]));
    }
    return out;
}

// The part of frame k that is compared: from 15 % to 95 % of it, past the writes and libgme's own
// latency (about 20 samples).
Window window(std::size_t k) {
    const double start = static_cast<double>(nes::frame_start(k)) * rate / nes::cpu_hz;
    const double length = nes_frame_cycles * rate / nes::cpu_hz;
    return {static_cast<std::size_t>(start + 0.15 * length), static_cast<std::size_t>(start + 0.95 * length)};
}

// The writes of one channel alone: its own registers and its bit of $4015.
struct Channel {
    const char* name;
    int gme_voice;
    std::uint16_t first;
    std::uint16_t last;
    std::uint8_t enable;
};
constexpr Channel channels[] = {{"pulse 1", 0, 0x4000, 0x4003, 0x01},
                                {"pulse 2", 1, 0x4004, 0x4007, 0x02},
                                {"triangle", 2, 0x4008, 0x400B, 0x04},
                                {"noise", 3, 0x400C, 0x400F, 0x08}};

std::vector<FrameWrites> alone(const std::vector<FrameWrites>& frames, const Channel& c) {
    std::vector<FrameWrites> out;
    for (const FrameWrites& frame : frames) {
        FrameWrites kept;
        for (const RegisterWrite& w : frame) {
            if (w.address >= c.first && w.address <= c.last) {
                kept.push_back(w);
            } else if (w.address == 0x4015) {
                kept.push_back({w.address, byte(w.value & c.enable)});
            }
        }
        out.push_back(std::move(kept));
    }
    return out;
}

bool writes(const std::vector<FrameWrites>& frames, const Channel& c) {
    return std::any_of(frames.begin(), frames.end(), [&](const FrameWrites& f) {
        return std::any_of(f.begin(), f.end(), [&](const RegisterWrite& w) {
            return w.address >= c.first && w.address <= c.last;
        });
    });
}

// What the unit's state over frame k's window (at its start, middle and end) says about a channel
// alone. Its pitch: where one steady tone sounds through the window, 0 below 160 Hz (fewer than 2
// periods in it). Its period, over whole periods of which its level is measured so that a low note's
// level does not depend on its phase. Whether its level can be held to libgme's at all: not where the
// channel changes within the window (the triangle starts and stops at quarter frames), nor where the
// period is longer than the window; not for the noise's slow and short-mode sequences; and not in the
// frame after the triangle or the noise stops, whose high-passed tail starts from the value or the
// register state the channel stopped at.
std::vector<FrameFacts> frame_facts(const std::vector<FrameWrites>& frames, std::size_t count) {
    nes::FramePlayer player(frames);
    struct Quiet {
        void pulses(nes::Cycle, std::uint8_t, std::uint8_t) {}
        void tnd(nes::Cycle, std::uint8_t, std::uint8_t, std::uint8_t) {}
    } sink;
    struct Point {
        double cycles = 0.0;  // the tone's period in CPU cycles, 0 when none sounds
        bool sounds = false;
        bool in_step = true;       // the renders' states agree: not a slow or a short noise
        bool leaves_tail = false;  // stopping leaves a tail that depends on its phase or state
        bool operator==(const Point&) const = default;
    };
    auto at = [&](nes::Cycle cycle) {  // the state through the given cycle
        while (player.next_event() <= cycle) {
            player.step(sink);
        }
        const nes::Apu& apu = player.apu();
        Point p;
        for (int i = 0; i < 2; ++i) {
            if (apu.pulse(i).level > 0) {
                p = {16.0 * (apu.pulse(i).period + 1), true, true, false};
            }
        }
        if (nes::triangle_runs(apu.triangle())) {
            const bool audible = apu.triangle().period >= nes::triangle_min_audible_period;
            p = {audible ? 32.0 * (apu.triangle().period + 1) : 0.0, true, true, true};
        }
        const nes::Noise& noise = apu.noise();
        if (noise.level > 0) {
            const bool in_step = !noise.short_mode && noise.period_index <= 4;
            p = {0.0, true, in_step, true};
        }
        return p;
    };
    std::vector<FrameFacts> out;
    bool tail_before = false;
    for (std::size_t k = 0; k < count; ++k) {
        const nes::Cycle start = nes::frame_start(k);
        const Point first = at(start + 4467);  // 15 % and 95 % of the frame, as window(k)
        const Point middle = at(start + 15000);
        const Point last = at(start + 28291);
        FrameFacts facts;
        facts.period = middle.cycles * rate / nes_cpu_hz;
        facts.sounds = middle.sounds;
        const bool steady = first == middle && middle == last;
        const bool tail = tail_before || (first.sounds && first.leaves_tail);
        facts.comparable = steady && middle.in_step && !(tail && !middle.sounds) &&
                           facts.period <= static_cast<double>(window(k).to - window(k).from);
        tail_before = (first.sounds && first.leaves_tail) || (last.sounds && last.leaves_tail);
        if (steady && middle.cycles > 0.0 && nes_cpu_hz / middle.cycles >= 160.0) {
            facts.pitch_hz = nes_cpu_hz / middle.cycles;
        }
        out.push_back(facts);
    }
    return out;
}

TEST(Libgme, PlaysTheNsfAsTheModelRendersTheFrames) {
    Worst worst;
    std::vector<int> offsets;
    const std::vector<Case> all = cases();
    for (const Case& c : all) {
        SCOPED_TRACE(c.name);
        const Frames song{HardwareModel::nes, c.frames};
        const ConsoleFile nsf = nsf_file(std::span(&song, 1), c.name.substr(0, nsf_title_max));
        ASSERT_EQ(nsf.problem, "");
        const std::size_t frames = c.frames.size() + 6;
        const std::size_t count = window(frames + max_offset).to + 1;
        std::vector<const Channel*> used;
        std::vector<Measured> measured;
        for (const Channel& channel : channels) {
            if (!writes(c.frames, channel)) {
                continue;
            }
            const std::vector<FrameWrites> solo = alone(c.frames, channel);
            Measured m;
            m.facts = frame_facts(solo, frames);
            m.gme = libgme_render(nsf.bytes, count, channel.gme_voice);
            m.pitched = model_render(solo, count, NesMixer::console);
            m.as_libgme_levels = levels(model_render(solo, count, NesMixer::linear), m.facts, 0, window);
            m.console_levels = levels(m.pitched, m.facts, 0, window);
            ASSERT_EQ(m.gme.size(), count);
            used.push_back(&channel);
            measured.push_back(std::move(m));
        }
        std::vector<std::vector<double>> gme_levels;
        const int offset = best_offset(measured, frames, window, gme_levels);
        offsets.push_back(offset);
        for (std::size_t i = 0; i < measured.size(); ++i) {
            SCOPED_TRACE(used[i]->name);
            compare_frames(measured[i], gme_levels[i], frames, offset, window, -infinity, worst);
        }
    }
    for (const int o : offsets) {
        EXPECT_EQ(o, 1);  // libgme's one frame, in every case
    }
    EXPECT_GE(worst.pitch_frames, 500U);
    EXPECT_GE(worst.level_frames, 1500U);
    std::printf("%zu cases, %zu channel frames; libgme one frame late in every case: %s\n", all.size(),
                worst.frames,
                std::all_of(offsets.begin(), offsets.end(), [](int o) { return o == 1; }) ? "yes" : "no");
    testing_support::print_worst(worst, "both mixing linearly", "the console's mix");
}

}  // namespace
}  // namespace bleepforge
