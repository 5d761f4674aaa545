// The NES sound unit's model: worked examples derived by hand from the NESdev wiki's pages, the
// mixer's reference values, the output stage's filters, and the render's properties.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "apu.hpp"
#include "bleepforge/nes.hpp"
#include "mixer.hpp"
#include "nes_sounds.hpp"
#include "output.hpp"
#include "test_random.hpp"

namespace bleepforge::nes {
namespace {

using chip::exp_negative;
using chip::HighPass;
using chip::kernel_phases;
using chip::kernel_stride;
using chip::kernel_tail;
using chip::kernel_taps;
using chip::pi;
using chip::StepKernel;

// Every output change the unit reports, in order.
struct Recording {
    struct Change {
        Cycle cycle;
        std::uint8_t a;  // pulse 1, or the triangle
        std::uint8_t b;  // pulse 2, or the noise
    };
    std::vector<Change> pulse_changes;
    std::vector<Change> tnd_changes;
    void pulses(Cycle c, std::uint8_t p1, std::uint8_t p2) { pulse_changes.push_back({c, p1, p2}); }
    void tnd(Cycle c, std::uint8_t triangle, std::uint8_t noise, std::uint8_t) {
        tnd_changes.push_back({c, triangle, noise});
    }
};

// Plays the frames until the unit has passed end.
Recording play(std::vector<FrameWrites> frames, Cycle end) {
    FramePlayer player(std::move(frames));
    Recording recording;
    while (player.now() < end) {
        player.step(recording);
    }
    return recording;
}

using testing_support::busy_frames;
using testing_support::pulse_1;

TEST(Apu, FramesStartAtTheirVideoFramesCycle) {
    // floor(k * 29780.5): 0, 29780, 59561, 89341, ... and for frame 59, 1757049.5 floored.
    const struct {
        std::uint64_t frame;
        Cycle cycle;
    } cases[] = {{0, 0}, {1, 29780}, {2, 59561}, {3, 89341}, {59, 1757049}, {60, 1786830}};
    for (const auto& c : cases) {
        EXPECT_EQ(frame_start(c.frame), c.cycle) << c.frame;
        // A pulse started by frame k's writes is first heard at that very cycle (duty 3 starts high).
        std::vector<FrameWrites> frames(c.frame + 1);
        frames.back() = pulse_1(253, 3);
        const Recording r = play(frames, c.cycle + 1);
        ASSERT_FALSE(r.pulse_changes.empty()) << c.frame;
        EXPECT_EQ(r.pulse_changes.front().cycle, c.cycle) << c.frame;
        EXPECT_EQ(r.pulse_changes.front().a, 15) << c.frame;
    }
}

TEST(Apu, PulsePeriodIsSixteenCyclesPerTimerStep) {
    // f = 1789773 / (16 (t + 1)): t = 253 is 440.40 Hz, 4064 cycles a period; t = 8 is 12429 Hz.
    for (const int t : {253, 8, 100, 0x7FF}) {
        const Recording r = play({pulse_1(t)}, 40 * 16 * static_cast<Cycle>(t + 1));
        std::vector<Cycle> rises;
        for (const auto& c : r.pulse_changes) {
            if (c.a == 15) {
                rises.push_back(c.cycle);
            }
        }
        ASSERT_GE(rises.size(), 3U) << t;
        for (std::size_t i = 1; i < rises.size(); ++i) {
            ASSERT_EQ(rises[i] - rises[i - 1], static_cast<Cycle>(16 * (t + 1))) << t;
        }
    }
    EXPECT_NEAR(1789773.0 / (16 * 254), 440.40, 0.005);
}

TEST(Apu, DutiesPlayTheirEightSteps) {
    // Sampled in the middle of each of the first 8 sequencer steps after a $4003 restart in frame 1
    // (cycle 29780). Frame 0 set t = 100 before the timer's clock at cycle 0, so it clocks at multiples
    // of 2 (t + 1) = 202 cycles: step 0 lasts from 29780 to 29896, step s >= 1 from 29896 + 202 (s - 1).
    const int t = 100;
    const Cycle restart = frame_start(1);
    const Cycle first_clock = 29896;
    const std::uint8_t expected[4][8] = {{0, 1, 0, 0, 0, 0, 0, 0},
                                         {0, 1, 1, 0, 0, 0, 0, 0},
                                         {0, 1, 1, 1, 1, 0, 0, 0},
                                         {1, 0, 0, 1, 1, 1, 1, 1}};
    for (int duty = 0; duty < 4; ++duty) {
        const Recording r = play({pulse_1(t, duty, 0), pulse_1(t, duty, 9)}, first_clock + 202 * 8);
        for (Cycle s = 0; s < 8; ++s) {
            const Cycle at = s == 0 ? (restart + first_clock) / 2 : first_clock + 202 * (s - 1) + 101;
            std::uint8_t level = 0;
            for (const auto& c : r.pulse_changes) {
                if (c.cycle <= at) {
                    level = c.a;
                }
            }
            EXPECT_EQ(level, expected[duty][s] * 9) << "duty " << duty << " step " << s;
        }
    }
}

TEST(Apu, FourThousandAndThreeRestartsThePhaseAndTheOthersDoNot) {
    // Duty 2 at t = 253 is high for steps 1-4 of 8. A $4003 write in the middle of a high half drops
    // the output at the write's own cycle (step 0 is low); a $4002 write of the same period does not.
    const Cycle write_at = frame_start(1);
    for (const bool restart : {true, false}) {
        const RegisterWrite w = restart ? RegisterWrite{0x4003, 0x00} : RegisterWrite{0x4002, 253};
        const Recording r = play({pulse_1(253), {w}}, write_at + 1);
        // Where in the period the write lands: find the output just before it.
        std::uint8_t before = 0;
        bool changed_at_write = false;
        for (const auto& c : r.pulse_changes) {
            if (c.cycle < write_at) {
                before = c.a;
            } else if (c.cycle == write_at) {
                changed_at_write = true;
            }
        }
        ASSERT_EQ(before, 15) << "the write must land in a high half for this test";
        EXPECT_EQ(changed_at_write, restart);
    }
}

TEST(Apu, SweepMutesLowNotesAtZeroButNotAtEight) {
    // $4001 = $00: shift 0, no negate, so the target is 2t, above $7FF for every t >= $400.
    const struct {
        int t;
        int sweep;
        bool heard;
    } cases[] = {
        {0x400, 0x00, false}, {0x3FF, 0x00, true},  {0x500, 0x00, false}, {0x500, 0x08, true},
        {0x7FF, 0x08, true},  {8, 0x08, true},      {7, 0x08, false},     {0x600, 0x81, false},  // $900,
        {0x555, 0x81, true},  {0x556, 0x81, false}, {0x554, 0x89, true},  {0x3FF, 0x01, true},
        {0x556, 0x01, false},  // $556 + $2AB = $801, muted though the sweep is off
    };
    for (const auto& c : cases) {
        const Recording r = play({pulse_1(c.t, 2, 15, c.sweep)}, 4 * 16 * static_cast<Cycle>(c.t + 1));
        EXPECT_EQ(!r.pulse_changes.empty(), c.heard) << std::hex << c.t << " sweep " << c.sweep;
    }
}

TEST(Apu, SweepTargetsNegateByOnesAndTwosComplement) {
    Pulse one;
    one.ones_complement = true;
    Pulse two;
    const struct {
        std::uint16_t t;
        std::uint8_t shift;
        bool negate;
        std::uint16_t pulse1;
        std::uint16_t pulse2;
    } cases[] = {
        {0x100, 1, true, 0x07F, 0x080},  {0x100, 1, false, 0x180, 0x180},
        {0x123, 3, true, 0x0FE, 0x0FF},  {0x010, 0, true, 0x000, 0x000},  // t - t - 1 held at 0
        {0x400, 0, false, 0x800, 0x800},
    };
    for (const auto& c : cases) {
        for (Pulse* p : {&one, &two}) {
            p->period = c.t;
            p->sweep_shift = c.shift;
            p->sweep_negate = c.negate;
        }
        EXPECT_EQ(sweep_target(one), c.pulse1) << c.t;
        EXPECT_EQ(sweep_target(two), c.pulse2) << c.t;
    }
}

TEST(Apu, SweepMovesThePeriodEveryPPlusOneHalfFrames) {
    // Enabled, P = 2, no negate, shift 1: t grows by t >> 1 where a half-frame clock finds the divider
    // at 0, which then reloads with P: every 3rd clock. A divider at 0 when the write set the reload
    // flag moves t on the first clock; one at 1 counts down 2, 1, 0 first.
    const struct {
        std::uint8_t divider;
        std::vector<std::uint16_t> periods;  // before each half-frame clock
    } cases[] = {
        {0, {0x100, 0x180, 0x180, 0x180, 0x240, 0x240, 0x240, 0x360, 0x360}},
        {1, {0x100, 0x100, 0x100, 0x100, 0x180, 0x180, 0x180, 0x240, 0x240}},
    };
    for (const auto& c : cases) {
        Pulse p;
        p.period = 0x100;
        p.sweep_on = true;
        p.sweep_period = 2;
        p.sweep_shift = 1;
        p.sweep_reload = true;
        p.sweep_divider = c.divider;
        for (const std::uint16_t t : c.periods) {
            EXPECT_EQ(p.period, t) << int{c.divider};
            clock_sweep(p);
        }
    }
}

TEST(Apu, EnvelopeDecaysLoopsAndHoldsConstantVolume) {
    // Start: 15, then the divider counts V + 1 quarter frames a step down; at 0 it stays or loops.
    const struct {
        std::uint8_t period;
        bool loop;
        std::vector<std::uint8_t> decay;  // after each quarter-frame clock from the start flag
    } cases[] = {
        {0, false, {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0}},
        {0, true, {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14}},
        {2, false, {15, 15, 15, 14, 14, 14, 13}},
    };
    for (const auto& c : cases) {
        Envelope e;
        e.start = true;
        for (const std::uint8_t d : c.decay) {
            clock_envelope(e, c.period, c.loop);
            EXPECT_EQ(e.decay, d);
            EXPECT_EQ(envelope_volume(e, 6, true), 6);
        }
    }
}

TEST(Apu, LengthCounterLoadsOnlyWhenEnabledAndFourThousandFifteenSilences) {
    // Load index 1 is 254; index 3 is 2 half frames: the note stops at the second half frame.
    EXPECT_EQ(length_loads[1], 254);
    EXPECT_EQ(length_loads[3], 2);
    const FrameWrites short_note = {{0x4015, 0x01}, {0x4000, 0x9F}, {0x4002, 100}, {0x4003, 3 << 3}};
    Recording r = play({short_note}, 3 * frame_counter_length);
    ASSERT_FALSE(r.pulse_changes.empty());
    EXPECT_EQ(r.pulse_changes.back().a, 0);
    EXPECT_LE(r.pulse_changes.back().cycle, frame_counter_steps[3]);  // silent from the 2nd half frame
    EXPECT_GT(r.pulse_changes.back().cycle, frame_counter_steps[1]);

    // Not enabled: the load is lost. Enabled after: still silent until the length is written again.
    r = play({{{0x4015, 0x00}, {0x4000, 0xBF}, {0x4002, 100}, {0x4003, 0x08}}, {{0x4015, 0x01}}},
             3 * frame_counter_length);
    EXPECT_TRUE(r.pulse_changes.empty());

    // $4015 = 0 silences at the write's cycle, whatever the halt bit.
    r = play({pulse_1(253, 3), {}, {{0x4015, 0x00}}}, 4 * frame_counter_length);
    ASSERT_FALSE(r.pulse_changes.empty());
    EXPECT_EQ(r.pulse_changes.back().cycle, frame_start(2));
    EXPECT_EQ(r.pulse_changes.back().a, 0);
}

TEST(Apu, TriangleStartsAndStopsAtTheNextQuarterFrame) {
    // Started in frame 0 (cycle 0), it first moves on the first timer clock after the quarter frame
    // at 7457; stopped by $4008 = $80 in frame 1 (29780), it holds its value from the next quarter
    // frame, 29829, on.
    const int t = 126;  // 440.40 Hz: 32 (t + 1) cycles a period
    const FrameWrites start = {{0x4015, 0x0F}, {0x4008, 0xFF}, {0x400A, t}, {0x400B, 0x08}};
    const Recording r = play({start, {{0x4008, 0x80}}}, 3 * frame_counter_length);
    ASSERT_FALSE(r.tnd_changes.empty());
    EXPECT_GT(r.tnd_changes.front().cycle, frame_counter_steps[0]);
    EXPECT_LE(r.tnd_changes.front().cycle, frame_counter_steps[0] + t + 1);
    EXPECT_EQ(r.tnd_changes.front().a, 14);  // from the power-up step 0 (15) to step 1
    EXPECT_LE(r.tnd_changes.back().cycle, frame_counter_steps[3]);
    EXPECT_GT(r.tnd_changes.back().cycle, frame_counter_steps[3] - 2 * (t + 1));
    // In between it steps every t + 1 cycles through the 32-step sequence, 0 and 15 held for two.
    for (std::size_t i = 1; i + 1 < r.tnd_changes.size(); ++i) {
        const Cycle gap = r.tnd_changes[i].cycle - r.tnd_changes[i - 1].cycle;
        const bool held = r.tnd_changes[i - 1].a == 0 || r.tnd_changes[i - 1].a == 15;
        EXPECT_EQ(gap, static_cast<Cycle>((held ? 2 : 1) * (t + 1))) << i;
    }
}

TEST(Apu, TriangleAboveEveryBandIsHeardAsItsMean) {
    const FrameWrites start = {{0x4015, 0x0F}, {0x4008, 0xFF}, {0x400A, 1}, {0x400B, 0x08}};
    const Recording r = play({start, {}, {{0x4008, 0x80}}}, 3 * frame_counter_length);
    ASSERT_EQ(r.tnd_changes.size(), 2U);
    EXPECT_EQ(r.tnd_changes[0].cycle, frame_counter_steps[0]);
    EXPECT_EQ(r.tnd_changes[0].a, triangle_mean);
    // Stopped by frame 2's $4008 = $80 at the quarter frame 29829 + 29830 = 59659, it holds the step it
    // reached: its timer (t = 1 from cycle 0) clocks on even cycles, 7458 to 59658 while it ran, 26101
    // steps from step 0.
    EXPECT_EQ(r.tnd_changes[1].cycle, frame_counter_steps[3] + frame_counter_length);
    EXPECT_EQ(r.tnd_changes[1].a, triangle_steps[26101 % 32]);
}

TEST(Apu, NoiseRegisterRunsItsSequencesFromTheSeed) {
    // Seed 1, long mode: the 1 walks down (feedback 0) until 0x0002, whose bits 0 and 1 differ.
    const std::uint16_t first[] = {0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100, 0x0080,
                                   0x0040, 0x0020, 0x0010, 0x0008, 0x0004, 0x0002, 0x4001, 0x6000};
    std::uint16_t s = 1;
    for (const std::uint16_t expected : first) {
        s = step_noise(s, false);
        EXPECT_EQ(s, expected);
    }
    // The sequences' lengths: 32767 in long mode; 93 from the seed in short mode, 31 on the one
    // short cycle (which holds 0x7FFF's neighbours; found by walking every state).
    auto period = [](std::uint16_t seed, bool short_mode) {
        std::uint16_t x = step_noise(seed, short_mode);
        int n = 1;
        for (; x != seed; ++n) {
            x = step_noise(x, short_mode);
        }
        return n;
    };
    EXPECT_EQ(period(1, false), 32767);
    EXPECT_EQ(period(1, true), 93);
    int short_cycle_states = 0;
    for (std::uint16_t seed = 1; seed < 0x8000; ++seed) {
        const int n = period(seed, true);
        ASSERT_TRUE(n == 93 || n == 31) << seed;
        short_cycle_states += n == 31 ? 1 : 0;
    }
    EXPECT_EQ(short_cycle_states, 31);
}

TEST(Apu, NoiseStepsAtOnceAreSingleSteps) {
    testing_support::SplitMix random{7};
    for (int trial = 0; trial < 2000; ++trial) {
        const auto seed = static_cast<std::uint16_t>(random.next() & 0x7FFF);
        const bool short_mode = (trial & 1) != 0;
        std::uint16_t one_by_one = seed;
        for (unsigned n = 1; n <= noise_steps_at_once[short_mode ? 1 : 0]; ++n) {
            one_by_one = step_noise(one_by_one, short_mode);
            ASSERT_EQ(step_noise(seed, short_mode, n), one_by_one) << seed << " " << n;
        }
        const std::uint64_t clocks = random.next() % 5000;
        std::uint16_t x = seed;
        for (std::uint64_t i = 0; i < clocks; ++i) {
            x = step_noise(x, short_mode);
        }
        ASSERT_EQ(step_noise_by(seed, short_mode, clocks), x) << seed << " " << clocks;
    }
}

TEST(Apu, NoiseClocksAtEachPeriodOfTheTable) {
    // With the noise sounding, output changes land on clocks, which come every noise_periods[P]
    // cycles; the table is the NTSC row of "APU Noise".
    const std::uint16_t ntsc[16] = {4,   8,   16,  32,  64,  96,   128,  160,
                                    202, 254, 380, 508, 762, 1016, 2034, 4068};
    for (int p = 0; p < 16; ++p) {
        ASSERT_EQ(noise_periods[p], ntsc[p]);
        const FrameWrites noise = {
            {0x4015, 0x08}, {0x400C, 0x3F}, {0x400E, static_cast<std::uint8_t>(p)}, {0x400F, 0x08}};
        const Recording r = play({noise}, frame_start(1) + 400 * Cycle{ntsc[p]});
        ASSERT_GE(r.tnd_changes.size(), 10U) << p;
        for (std::size_t i = 1; i < r.tnd_changes.size(); ++i) {
            ASSERT_EQ((r.tnd_changes[i].cycle - r.tnd_changes[0].cycle) % ntsc[p], 0U) << p;
        }
    }
}

TEST(Mixer, MatchesTheReferenceValues) {
    // "APU Mixer": one pulse at 15, both, the triangle alone, the noise alone, everything at its top.
    EXPECT_NEAR(pulse_mix(15, 0), 0.14938, 5e-6);
    EXPECT_NEAR(pulse_mix(15, 15), 0.25848, 5e-6);
    EXPECT_NEAR(tnd_mix(15, 0, 0), 0.24641, 5e-6);
    EXPECT_NEAR(tnd_mix(0, 15, 0), 0.17443, 5e-6);
    EXPECT_NEAR(pulse_mix(15, 15) + tnd_mix(15, 15, 127), 1.0, 0.002);
    EXPECT_EQ(pulse_mix(0, 0), 0.0);
    EXPECT_EQ(tnd_mix(0, 0, 0), 0.0);
    // A high DMC level lowers what the triangle adds.
    EXPECT_LT(tnd_mix(15, 0, 100) - tnd_mix(0, 0, 100), tnd_mix(15, 0, 0));
}

// The RMS of the samples in [from, to).
double rms(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        sum += static_cast<double>(x[i]) * static_cast<double>(x[i]);
    }
    return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(Mixer, FourBitVolumesThroughTheWholeRender) {
    // The mixer's levels relative to 15 ("APU Mixer": 1 -22.16 dB, 2 -16.24, 3 -12.82, 7 -5.87), and the
    // same ratios in the rendered samples: everything after the mixer is linear.
    const double table_db[16] = {0, -22.16, -16.24, -12.82, 0, 0, 0, -5.87, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::size_t count = 44100 / 2;
    const std::vector<float> loudest = *render_nes({pulse_1(253, 2, 15)}, 44100, count);
    const double loudest_rms = rms(loudest, count / 4, count);
    for (int v = 0; v < 15; ++v) {
        const double mix_db = 20.0 * std::log10(pulse_mix(v, 0) / pulse_mix(15, 0));
        if (table_db[v] != 0.0) {
            EXPECT_NEAR(mix_db, table_db[v], 0.005) << v;
        }
        const std::vector<float> samples = *render_nes({pulse_1(253, 2, v)}, 44100, count);
        const double level = rms(samples, count / 4, count);
        if (v == 0) {
            EXPECT_EQ(level, 0.0);
        } else {
            EXPECT_NEAR(20.0 * std::log10(level / loudest_rms), mix_db, 0.01) << v;
        }
    }
}

TEST(Output, OurExponentialIsTheLibrarys) {
    // Over the arguments the model takes (up to 2 pi 14000 / 8000 = 11); squaring doubles the error.
    for (const double x : {0.0, 1e-9, 0.01, 0.0126, 0.125, 0.3456, 1.0, 2.5, 11.0}) {
        EXPECT_NEAR(exp_negative(x), std::exp(-x), 2e-14 * std::exp(-x)) << x;
    }
}

// The gain of a high-pass at frequency f, from its pole a: |(1+a)/2 (1 - z^-1) / (1 - a z^-1)|.
double high_pass_db(const HighPass& h, double f_hz, double rate_hz) {
    const std::complex<double> z = std::polar(1.0, 2.0 * pi * f_hz / rate_hz);
    const double a = h.pole();
    return 20.0 * std::log10(std::abs((1.0 + a) / 2.0 * (1.0 - 1.0 / z) / (1.0 - a / z)));
}

TEST(Output, HighPassesHaveTheirCornersAtEveryRate) {
    // e^(-2 pi 90 / 44100) = 0.987259, e^(-2 pi 440 / 44100) = 0.939236.
    EXPECT_NEAR(HighPass(90.0, 44100.0, 0.0).pole(), 0.987259, 1e-6);
    EXPECT_NEAR(HighPass(440.0, 44100.0, 0.0).pole(), 0.939236, 1e-6);
    for (const double rate : {8000.0, 22050.0, 44100.0, 48000.0, 192000.0}) {
        for (const double corner : {high_pass_1_hz, high_pass_2_hz}) {
            const HighPass h(corner, rate, 0.0);
            EXPECT_NEAR(high_pass_db(h, corner, rate), -3.0103, 0.1) << corner << " at " << rate;
            EXPECT_NEAR(high_pass_db(h, rate / 2, rate), 0.0, 1e-9);
        }
    }
    // And the recursion is that filter: a sine at the corner through it, in the steady state.
    HighPass h(440.0, 8000.0, 0.0);
    double peak = 0.0;
    for (int n = 0; n < 8000; ++n) {
        const double y = h.step(std::sin(2.0 * pi * 440.0 * n / 8000.0));
        peak = n > 4000 ? std::max(peak, std::abs(y)) : 0.0;
    }
    EXPECT_NEAR(20.0 * std::log10(peak), high_pass_db(h, 440.0, 8000.0), 0.05);
}

// The band-limited step of phase 0, sample by sample from 7 before the step on: its rows summed, and
// the low-pass tail after them.
std::vector<double> step_response(const StepKernel& k, int samples) {
    std::vector<double> y;
    double integral = 0.0;
    double tail = 0.0;
    for (int j = 0; j < samples; ++j) {
        integral += j <= kernel_taps ? static_cast<double>(k.rows[static_cast<std::size_t>(j)]) : 0.0;
        tail = tail * k.tail_decay + (j == kernel_taps ? static_cast<double>(k.rows[kernel_tail]) : 0.0);
        y.push_back(integral + tail);
    }
    return y;
}

TEST(Output, TheStepKernelHoldsTheConsolesLowPass) {
    // Where the anti-aliasing filter is flat (up to 0.3 of the rate, -0.1 dB), the step's spectrum is
    // the 14 kHz first-order low-pass, 1 / sqrt(1 + (f / 14000)^2): -3.01 dB at 14 kHz, -0.52 dB at
    // 5 kHz, -7.48 dB at 30 kHz; times sinc(f / rate), as the step's samples differenced are the
    // impulse response summed over one sample.
    const struct {
        std::int32_t rate;
        double f_hz;
        double db;
    } cases[] = {{192000, 14000, -3.0103}, {192000, 5000, -0.5213}, {192000, 30000, -7.4750},
                 {96000, 14000, -3.0103},  {48000, 5000, -0.5213},  {44100, 1000, -0.0221}};
    for (const auto& c : cases) {
        const StepKernel k = chip::make_step_kernel(c.rate, low_pass_hz);
        const std::vector<double> y = step_response(k, 4000);
        std::complex<double> h = 0.0;
        for (std::size_t n = 0; n < y.size(); ++n) {
            h += (y[n] - (n > 0 ? y[n - 1] : 0.0)) *
                 std::polar(1.0, -2.0 * pi * c.f_hz * static_cast<double>(n) / c.rate);
        }
        const double x = pi * c.f_hz / c.rate;
        const double box_db = 20.0 * std::log10(std::sin(x) / x);
        EXPECT_NEAR(20.0 * std::log10(std::abs(h)) - box_db, c.db, 0.02) << c.f_hz << " at " << c.rate;
        EXPECT_NEAR(y.back(), 1.0, 1e-6) << c.rate;  // every step ends at its full height
    }
    // Every row brings the integral to 1 after kernel_taps + 1 samples.
    const StepKernel k = chip::make_step_kernel(44100, low_pass_hz);
    for (int p = 0; p < kernel_phases; ++p) {
        double sum = 0.0;
        for (int j = 0; j <= kernel_taps; ++j) {
            sum += static_cast<double>(k.rows[static_cast<std::size_t>(p * kernel_stride + j)]);
        }
        ASSERT_NEAR(sum, 1.0, 1e-6) << p;
    }
}

// The busy sound with the triangle too, every channel moving.
std::vector<FrameWrites> every_channel(int count) {
    std::vector<FrameWrites> frames = busy_frames(count);
    frames[0].insert(frames[0].end(), {{0x4008, 0xFF}, {0x400A, 200}, {0x400B, 0x08}});
    FrameWrites& middle = frames[static_cast<std::size_t>(count / 2)];
    middle.insert(middle.end(), {{0x4004, 0x7C}, {0x4006, 0x40}, {0x4007, 0x01}});
    return frames;
}

TEST(Render, AnySplitGivesTheSameBits) {
    const std::size_t count = 44100 * 2;
    for (const std::int32_t rate : {8000, 44100, 192000}) {
        const std::size_t n = count * static_cast<std::size_t>(rate) / 44100;
        const std::vector<float> whole = *render_nes(every_channel(90), rate, n);
        testing_support::SplitMix random{static_cast<std::uint64_t>(rate)};
        for (const std::size_t piece : {1U, 2U, 3U, 7U, 255U, 256U, 4096U, 0U}) {
            std::optional<NesRender> render = NesRender::start(every_channel(90), rate, n);
            std::vector<float> pieces(n + 10, -2.0f);
            std::size_t at = 0;
            while (at < n) {
                const std::size_t size = piece != 0 ? piece : 1 + random.next() % 3000;
                const std::size_t wrote =
                    render->render(std::span(pieces).subspan(at, std::min(size, n + 10 - at)));
                ASSERT_EQ(wrote, std::min(size, n - at));
                at += wrote;
            }
            EXPECT_EQ(render->render(pieces), 0U);
            pieces.resize(n);
            ASSERT_EQ(pieces, whole) << "pieces of " << piece << " at " << rate;
        }
    }
}

TEST(Render, SamplesStayInRangeAndACopyGoesOnAlike) {
    std::optional<NesRender> render = NesRender::start(every_channel(60), 48000, 48000);
    ASSERT_TRUE(render.has_value());
    std::vector<float> first(20000);
    ASSERT_EQ(render->render(first), first.size());
    NesRender fork = *render;
    std::vector<float> a(28000);
    std::vector<float> b(28000);
    ASSERT_EQ(render->render(a), a.size());
    ASSERT_EQ(fork.render(b), b.size());
    EXPECT_EQ(a, b);
    EXPECT_EQ(render->samples_left(), 0U);
    for (const std::vector<float>* x : {&first, &a}) {
        EXPECT_TRUE(std::all_of(x->begin(), x->end(), [](float s) { return s >= -1.0f && s <= 1.0f; }));
    }
    NesRender moved = std::move(fork);
    EXPECT_EQ(fork.render(a), 0U);  // NOLINT(bugprone-use-after-move): a moved-from render is empty
    EXPECT_EQ(fork.samples_left(), 0U);
}

// FNV-1a over the samples' bits.
std::uint64_t hash(const std::vector<float>& samples) {
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (const float x : samples) {
        const auto bits = std::bit_cast<std::uint32_t>(x);
        for (int byte = 0; byte < 4; ++byte) {
            h = (h ^ ((bits >> (8 * byte)) & 0xFFU)) * 0x100000001B3ULL;
        }
    }
    return h;
}

TEST(Render, TheSameBitsOnEveryBuild) {
    // Recorded from this build; the debug, sanitizer, clang, Windows and WebAssembly builds must match.
    // A change here is a change of every render: a reviewed decision, never a side effect.
    const struct {
        std::int32_t rate;
        NesMixer mixer;
        std::uint64_t hash;
    } cases[] = {
        {8000, NesMixer::console, 0xCD6431FC6419CF9CULL},
        {44100, NesMixer::console, 0x054E326F2FA2DE3EULL},
        {48000, NesMixer::linear, 0x2D75DFC6B3134297ULL},
        {192000, NesMixer::console, 0xF88BD10B0E9E70F5ULL},
    };
    for (const auto& c : cases) {
        const auto count = static_cast<std::uint64_t>(c.rate);  // 1 s: 60 frames and the unit running on
        const std::vector<float> samples = *render_nes(every_channel(50), c.rate, count, c.mixer);
        EXPECT_EQ(hash(samples), c.hash) << c.rate << " 0x" << std::hex << hash(samples);
    }
}

TEST(Render, RefusesRatesOutsideItsRange) {
    for (const std::int32_t rate : {0, -44100, 7999, 192001}) {
        EXPECT_FALSE(NesRender::start({}, rate, 10).has_value()) << rate;
    }
    for (const std::int32_t rate : {8000, 192000}) {
        EXPECT_TRUE(NesRender::start({}, rate, 10).has_value()) << rate;
    }
}

TEST(Render, StartsAtRestAndSilenceIsZero) {
    // No writes: the starting state (the triangle held at 15) is a level, not a click.
    const std::vector<float> quiet = *render_nes({}, 44100, 4410);
    EXPECT_TRUE(std::all_of(quiet.begin(), quiet.end(), [](float s) { return s == 0.0f; }));
    // After a note, the high-passes bring the output back to (very nearly) 0.
    std::vector<FrameWrites> note = {pulse_1(253)};
    note.resize(10);
    note.push_back({{0x4015, 0x00}});
    const std::vector<float> after = *render_nes(note, 44100, 44100);
    EXPECT_LT(rms(after, 44100 / 2, 44100), 1e-5);
}

// The DFT's magnitude at frequency f over x, Blackman-Harris windowed, in dB relative to full scale
// of a sine's peak.
double tone_db(const std::vector<float>& x, std::size_t from, std::size_t n, double f, double rate) {
    std::complex<double> sum = 0.0;
    double window_sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double p = 2.0 * pi * static_cast<double>(i) / static_cast<double>(n - 1);
        const double w =
            0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        window_sum += w;
        sum += w * static_cast<double>(x[from + i]) *
               std::polar(1.0, -2.0 * pi * f * static_cast<double>(i) / rate);
    }
    return 20.0 * std::log10(2.0 * std::abs(sum) / window_sum);
}

TEST(Render, AHighPulseDoesNotAlias) {
    // t = 8: 12429 Hz, 50 % duty, so odd harmonics at 37288, 62145, 87003 ... Hz. Sampled at 44100 Hz
    // without band-limiting, they would fold to 6812, 18045, 1197 ... Hz at a third, a fifth, a seventh
    // of the fundamental: -10 to -17 dB. Here each folds back below -80 dB (-88 dB and less).
    const double rate = 44100.0;
    const double f0 = 1789773.0 / (16.0 * 9.0);
    const std::vector<float> x = *render_nes({pulse_1(8)}, 44100, 16384);
    const double fundamental = tone_db(x, 4096, 8192, f0, rate);
    EXPECT_GT(fundamental, -30.0);
    for (int h = 3; h <= 15; h += 2) {
        double folded = std::fmod(h * f0, rate);
        folded = folded > rate / 2 ? rate - folded : folded;
        EXPECT_LT(tone_db(x, 4096, 8192, folded, rate) - fundamental, -80.0)
            << "harmonic " << h << " at " << folded;
    }
}

}  // namespace
}  // namespace bleepforge::nes
