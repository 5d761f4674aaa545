// The Game Boy sound unit's model: worked examples derived by hand from Pan Docs' audio pages (the duty
// waves, the noise register, the envelope's ticks, the frames' cycles, the DAC), and the render's
// properties.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "bleepforge/gameboy.hpp"
#include "dmg.hpp"
#include "gb_cases.hpp"
#include "gb_mix.hpp"
#include "gb_sounds.hpp"
#include "test_random.hpp"

namespace bleepforge::dmg {
namespace {

using testing_support::gb_noise;
using testing_support::gb_pulse;

// Every change of a channel's output the unit reports, in order.
struct Recording {
    struct Change {
        Cycle cycle;
        int channel;
        std::uint8_t output;
    };
    std::vector<Change> changes;
    void channel(Cycle c, int index, std::uint8_t output) { changes.push_back({c, index, output}); }
    void panning(Cycle, std::uint8_t, std::uint8_t) {}
    [[nodiscard]] std::vector<Change> of(int channel) const {
        std::vector<Change> out;
        std::copy_if(changes.begin(), changes.end(), std::back_inserter(out),
                     [channel](const Change& c) { return c.channel == channel; });
        return out;
    }
};

// The frames played until the unit has passed end; the player stays for its state.
struct Played {
    FramePlayer player;
    Recording recording;
};
Played play(std::vector<FrameWrites> frames, Cycle end) {
    Played p{FramePlayer(std::move(frames)), {}};
    while (p.player.now() < end) {
        p.player.step(p.recording);
    }
    return p;
}

TEST(Dmg, PulsePlaysEachDutyAtItsPeriod) {
    // x = 1750: the divider overflows every 4 (2048 - 1750) = 1192 cycles, a duty step each, so the
    // wave repeats every 9536 cycles: 439.8 Hz = 131072 / 298. Its high part lasts 1, 2, 4 and 6 of
    // the 8 steps (12.5, 25, 50 and 75 %).
    const Cycle step = pulse_step_cycles(1750);
    ASSERT_EQ(step, 1192U);
    const int high_steps[4] = {1, 2, 4, 6};
    for (int duty = 0; duty < 4; ++duty) {
        SCOPED_TRACE(duty);
        const std::vector<Recording::Change> c = play({gb_pulse(1750, duty)}, 60000).recording.of(0);
        ASSERT_GE(c.size(), 8U);
        EXPECT_EQ(c[0].cycle, 0U);  // the trigger, at frame 0's writes
        for (std::size_t i = 1; i + 1 < c.size(); ++i) {
            const bool high = (c[i].output & output_high) != 0;
            EXPECT_EQ(c[i].output & 15U, 15U);
            EXPECT_EQ(c[i + 1].cycle - c[i].cycle, step * static_cast<Cycle>(high ? high_steps[duty] : 8 - high_steps[duty]))
                << "change " << i;
            EXPECT_NE(high, (c[i + 1].output & output_high) != 0);
        }
    }
}

TEST(Dmg, NoiseRegisterRunsItsTwoWidths) {
    // From 0, as a trigger leaves it: bit 15 takes NOT (bit 0 XOR bit 1), so ones enter from the top.
    EXPECT_EQ(step_lfsr(0x0000, false), 0x4000);
    EXPECT_EQ(step_lfsr(0x4000, false), 0x6000);
    EXPECT_EQ(step_lfsr(0x0000, true), 0x4040);  // the 7-bit width copies the new bit to bit 7 too
    EXPECT_EQ(step_lfsr(0x0001, false), 0x0000);  // bits 0 and 1 differ: a 0 enters
    // The sequences' lengths: 32767 and 127 clocks.
    for (const bool short_mode : {false, true}) {
        std::uint16_t lfsr = 0;
        for (int i = 0; i < 200; ++i) {  // into the 7-bit width's loop
            lfsr = step_lfsr(lfsr, short_mode);
        }
        const std::uint16_t start = lfsr;
        int period = 0;
        do {
            lfsr = step_lfsr(lfsr, short_mode);
            ++period;
        } while ((short_mode ? (lfsr & 0x7FU) != (start & 0x7FU) : lfsr != start) && period < 40000);
        EXPECT_EQ(period, short_mode ? 127 : 32767);
    }
    // Runs of clocks at once are the single clocks.
    testing_support::SplitMix random{29};
    for (int trial = 0; trial < 2000; ++trial) {
        const auto start = static_cast<std::uint16_t>(random.next() & 0x7FFFU);
        const bool short_mode = trial % 2 == 1;
        std::uint16_t one_by_one = start;
        for (unsigned n = 1; n <= lfsr_steps_at_once[short_mode ? 1 : 0]; ++n) {
            one_by_one = step_lfsr(one_by_one, short_mode);
            ASSERT_EQ(step_lfsr(start, short_mode, n), one_by_one) << start << " by " << n;
        }
        if (trial % 20 != 0) {
            continue;
        }
        const std::uint64_t clocks = random.next() % 100000;
        std::uint16_t slow = start;
        for (std::uint64_t i = 0; i < clocks; ++i) {
            slow = step_lfsr(slow, short_mode);
        }
        ASSERT_EQ(step_lfsr_by(start, short_mode, clocks), slow) << start << " by " << clocks;
    }
    // NR43 = $13: a clock every 48 << 1 = 96 cycles (43691 Hz); the output changes only on them.
    EXPECT_EQ(noise_clock_cycles(0x13), 96U);
    for (const Recording::Change& c : play({gb_noise(0x13)}, 20000).recording.of(3)) {
        EXPECT_EQ(c.cycle % 96, 0U) << c.cycle;
    }
}

TEST(Dmg, EnvelopeTicksAt64HzAndANewVolumeWaitsForATrigger) {
    // NR12 = $F1: 15, down a step each 64 Hz tick. The envelope ticks are DIV-APU ticks 6, 14, 22 ...,
    // at 8192 n - 4088 cycles: 45064, then every 65536. (The state is read through the event at the
    // cycle given: tick 5 at 36872 leaves the volume alone.)
    EXPECT_EQ(div_apu_tick(6), 45064U);
    const auto volume_at = [](std::vector<FrameWrites> frames, Cycle c) {
        return play(std::move(frames), c).player.apu().pulse(0).envelope.volume;
    };
    EXPECT_EQ(volume_at({gb_pulse(1750, 2, 0xF1)}, 36872), 15);
    EXPECT_EQ(volume_at({gb_pulse(1750, 2, 0xF1)}, 45064), 14);
    EXPECT_EQ(volume_at({gb_pulse(1750, 2, 0xF1)}, 45064 + 65536), 13);
    EXPECT_EQ(volume_at({gb_pulse(1750, 2, 0xF3)}, 45064 + 65536 * 2), 14);    // pace 3: a step every 3rd
    EXPECT_EQ(volume_at({gb_pulse(1750, 2, 0x09)}, 45064 + 65536 * 20), 15);  // up from 0, held at 15
    EXPECT_EQ(volume_at({gb_pulse(1750, 2, 0xF0)}, 45064 + 65536 * 20), 15);  // pace 0: constant
    // A new NR12 alone is not heard (the model has no zombie mode); with a trigger it is.
    std::vector<FrameWrites> quieter = {gb_pulse(1750, 2, 0xF0), {{0xFF12, 0x70}}};
    EXPECT_EQ(volume_at(quieter, frame_start(1) + 100), 15);
    quieter[1].push_back({0xFF14, 0x86});
    EXPECT_EQ(volume_at(quieter, frame_start(1) + 100), 7);
}

TEST(Dmg, WritesLandAtTheirFramesStartAndTheDacDecidesSilence) {
    // A note in frame 3 begins at cycle 3 x 70224.
    std::vector<FrameWrites> late(3);
    late.push_back(gb_pulse(1750));
    const std::vector<Recording::Change> c = play(late, frame_start(5)).recording.of(0);
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c[0].cycle, 210672U);
    // Triggered at volume 0 going up at pace 0 ($08): on, at digital 0, its DAC on (no pop);
    // NR12 = $00 turns the DAC and the channel off.
    Played silent = play({gb_pulse(1750, 2, 0x08)}, 1000);
    EXPECT_TRUE(silent.player.apu().pulse(0).on);
    EXPECT_EQ(silent.player.apu().output(0), 0);
    EXPECT_EQ(analog_level(0, 0, GbDac::console), 1.0);
    EXPECT_EQ(analog_level(0, output_high | 15, GbDac::console), -1.0);
    Played off = play({gb_pulse(1750), {{0xFF12, 0x00}}}, frame_start(1) + 10);
    EXPECT_FALSE(off.player.apu().pulse(0).on);
    EXPECT_EQ(off.player.apu().output(0), output_dac_off);
    // Writes while the unit is off are lost: the note never starts.
    std::vector<FrameWrites> unpowered = {{{0xFF26, 0x00}}};
    testing_support::gb_append(unpowered, {gb_pulse(1750)});
    EXPECT_FALSE(play(unpowered, frame_start(2)).player.apu().pulse(0).on);
}

// A sound on every channel the frames use: CH1 with its period moving, CH4 at two clocks, both
// silenced, the unit running on.
std::vector<FrameWrites> busy() {
    std::vector<FrameWrites> frames = testing_support::gb_busy_frames(40);
    frames.resize(60);
    return frames;
}

TEST(GbRenderTest, AnySplitGivesTheSameBitsAndACopyGoesOnAlike) {
    for (const std::int32_t rate : {8000, 44100, 192000}) {
        const auto n = static_cast<std::size_t>(rate);
        const std::vector<float> whole = *render_gb(busy(), rate, n);
        EXPECT_TRUE(std::all_of(whole.begin(), whole.end(), [](float s) { return s >= -1.0f && s <= 1.0f; }));
        testing_support::SplitMix random{static_cast<std::uint64_t>(rate)};
        for (const std::size_t piece : {1U, 3U, 256U, 4096U, 0U}) {
            std::optional<GbRender> render = GbRender::start(busy(), rate, n);
            std::vector<float> pieces(n + 10, -2.0f);
            std::size_t at = 0;
            while (at < n) {
                const std::size_t size = piece != 0 ? piece : 1 + random.next() % 3000;
                const std::size_t wrote = render->render(std::span(pieces).subspan(at, std::min(size, n + 10 - at)));
                ASSERT_EQ(wrote, std::min(size, n - at));
                at += wrote;
            }
            EXPECT_EQ(render->render(pieces), 0U);
            pieces.resize(n);
            ASSERT_EQ(pieces, whole) << "pieces of " << piece << " at " << rate;
        }
    }
    std::optional<GbRender> render = GbRender::start(busy(), 48000, 48000);
    std::vector<float> first(20000);
    ASSERT_EQ(render->render(first), first.size());
    GbRender fork = *render;
    std::vector<float> a(28000);
    std::vector<float> b(28000);
    ASSERT_EQ(render->render(a), a.size());
    ASSERT_EQ(fork.render(b), b.size());
    EXPECT_EQ(a, b);
    GbRender moved = std::move(fork);
    EXPECT_EQ(fork.render(a), 0U);  // NOLINT(bugprone-use-after-move): a moved-from render is empty
    EXPECT_EQ(fork.samples_left(), 0U);
    for (const std::int32_t bad : {0, 7999, 192001}) {
        EXPECT_FALSE(GbRender::start({}, bad, 10).has_value()) << bad;
    }
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

TEST(GbRenderTest, TheSameBitsOnEveryBuild) {
    // Recorded from this build; the debug, sanitizer, clang, Windows and WebAssembly builds must match.
    const struct {
        std::int32_t rate;
        GbDac dac;
        std::uint64_t hash;
    } cases[] = {
        {8000, GbDac::console, 0xA96B83AD4FDD7252ULL},
        {44100, GbDac::console, 0xE17597717395DDE7ULL},
        {48000, GbDac::bipolar, 0x375AF0E9E1BD23D8ULL},
        {192000, GbDac::console, 0x60FB880B59799E20ULL},
    };
    for (const auto& c : cases) {
        const std::vector<float> samples = *render_gb(busy(), c.rate, static_cast<std::uint64_t>(c.rate), c.dac);
        EXPECT_EQ(hash(samples), c.hash) << c.rate << " 0x" << std::hex << hash(samples);
    }
}

double rms(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        sum += static_cast<double>(x[i]) * static_cast<double>(x[i]);
    }
    return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(GbRenderTest, StartsAtRestAndEndsInSilence) {
    const std::vector<float> quiet = *render_gb({}, 44100, 4410);
    EXPECT_TRUE(std::all_of(quiet.begin(), quiet.end(), [](float s) { return s == 0.0f; }));
    std::vector<FrameWrites> note = testing_support::gb_held(gb_pulse(1750), 10);
    note.push_back(testing_support::gb_silence);
    const std::vector<float> after = *render_gb(note, 44100, 3 * 44100);
    EXPECT_GT(rms(after, 2000, 6000), 0.05);
    EXPECT_LT(rms(after, 2 * 44100, 3 * 44100), 1e-4);  // the capacitor has let the DAC's level go
}

// The DFT's magnitude at f over x, Blackman-Harris windowed, in dB of a full-scale sine's peak.
double tone_db(const std::vector<float>& x, std::size_t from, std::size_t n, double f, double rate) {
    constexpr double pi = 3.141592653589793;
    std::complex<double> sum = 0.0;
    double window_sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double p = 2.0 * pi * static_cast<double>(i) / static_cast<double>(n - 1);
        const double w = 0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        window_sum += w;
        sum += w * static_cast<double>(x[from + i]) * std::polar(1.0, -2.0 * pi * f * static_cast<double>(i) / rate);
    }
    return 20.0 * std::log10(2.0 * std::abs(sum) / window_sum);
}

TEST(GbRenderTest, AHighPulseDoesNotAlias) {
    // x = 2038: 13107 Hz at 50 %, odd harmonics at 39322, 65536, 91750 ... Hz, which sampled at 44100 Hz
    // without band-limiting would fold to 4778, 21436, 3850 ... Hz.
    const double rate = 44100.0;
    const double f0 = 131072.0 / 10.0;
    const std::vector<float> x = *render_gb({gb_pulse(2038)}, 44100, 16384);
    const double fundamental = tone_db(x, 4096, 8192, f0, rate);
    EXPECT_GT(fundamental, -30.0);
    for (int h = 3; h <= 15; h += 2) {
        double folded = std::fmod(h * f0, rate);
        folded = folded > rate / 2 ? rate - folded : folded;
        EXPECT_LT(tone_db(x, 4096, 8192, folded, rate) - fundamental, -70.0) << "harmonic " << h << " at " << folded;
    }
}

}  // namespace
}  // namespace bleepforge::dmg
