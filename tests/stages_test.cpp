// The stages of format 2, each derived by hand on a simple signal: a gameboy pulse whose envelope
// holds exactly 1, so every sample is +-0.75 until a stage changes it.
#include "stages.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"
#include "format_one_patches.hpp"
#include "recorded_hashes.hpp"
#include "reference.hpp"
#include "test_random.hpp"
#include "voice_state.hpp"

namespace bleepforge {
namespace {

SfxPatch flat_pulse(double freq_hz) {
    SfxPatch p = make_patch(SfxPreset::blip, ChipType::gameboy);
    p.base_freq = freq_hz;
    p.attack = 0.0;
    p.decay = 0.0;
    p.sustain_time = 2.0;
    p.sustain_level = 1.0;
    return p;
}

// Samples from one sign change to the next, over the whole buffer: the half periods.
std::vector<std::size_t> half_periods(const SampleBuffer& s, std::size_t from, std::size_t to) {
    std::vector<std::size_t> runs;
    std::size_t last = from;
    for (std::size_t i = from + 1; i < to; ++i) {
        if ((s[i] > 0.0f) != (s[i - 1] > 0.0f)) {
            if (last != from) {
                runs.push_back(i - last);
            }
            last = i;
        }
    }
    return runs;
}

TEST(Stages, AJumpMultipliesThePitchAtItsTime) {
    // 441 Hz at 44100 Hz: a period of 100 samples, halves of 50; an octave up halves them.
    SfxPatch p = flat_pulse(441.0);
    p.jump1_semitones = 12.0;
    p.jump1_time = 0.05;  // sample 2205
    const SampleBuffer s = render_sfx(p, 0.1, 44100);
    for (const std::size_t run : half_periods(s, 0, 2150)) {
        EXPECT_NEAR(static_cast<double>(run), 50.0, 1.0);
    }
    for (const std::size_t run : half_periods(s, 2300, s.size())) {
        EXPECT_NEAR(static_cast<double>(run), 25.0, 1.0);
    }
    // A second jump a fifth down after it: 2^(12/12) * 2^(-7/12) of the pitch.
    p.jump2_semitones = -7.0;
    p.jump2_time = 0.075;
    Voice voice = start_voice(p, 0.1, 44100);
    std::vector<float> piece(3400);
    ASSERT_EQ(render_voice(voice, piece), piece.size());
    EXPECT_EQ(voice.state()->tone.freq_hz(), 441.0 * 2.0 * voice::semitone_ratio(-7.0));
    EXPECT_EQ(voice::semitone_ratio(-7.0), 0.6674199270850172);  // 2^(-7/12), correctly rounded
    EXPECT_EQ(voice::semitone_ratio(99.0), 4.0);                 // held in two octaves
}

TEST(Stages, ARepeatStartsThePitchAgainEveryPeriod) {
    SfxPatch p = flat_pulse(1000.0);
    p.freq_slide = -4000.0;
    p.repeat_rate = 10.0;  // every 4410 samples
    Voice voice = start_voice(p, 0.5, 44100);
    std::vector<float> one(1);
    std::vector<double> pitch;
    while (render_voice(voice, one) > 0) {
        pitch.push_back(voice.state()->tone.freq_hz());
    }
    const double first = 1000.0 - 4000.0 / 44100.0;  // the slide applies before each first sample
    for (const std::size_t start : {0U, 4410U, 8820U, 17640U}) {
        EXPECT_EQ(pitch[start], first) << start;
        EXPECT_LT(pitch[start + 4409], 1000.0 - 390.0) << start;  // fell for a tenth of a second
    }
}

TEST(Stages, AnAcceleratedSlideFollowsItsSquareLaw) {
    SfxPatch p = flat_pulse(500.0);
    p.freq_slide = 1000.0;
    p.freq_slide_accel = 20000.0;  // f(t) = 500 + 1000 t + 10000 t^2
    Voice voice = start_voice(p, 0.2, 44100);
    std::vector<float> piece(4410);
    ASSERT_EQ(render_voice(voice, piece), piece.size());
    EXPECT_NEAR(voice.state()->tone.freq_hz(), 500.0 + 100.0 + 100.0, 0.5);
}

TEST(Stages, ADutySweepNarrowsThePulse) {
    SfxPatch p = flat_pulse(441.0);
    p.duty = 0.5;
    p.duty_sweep = -1.0;  // a quarter at 0.25 s
    const SampleBuffer s = render_sfx(p, 0.3, 44100);
    std::size_t high = 0;
    for (std::size_t i = 11000; i < 11100; ++i) {  // one period around 0.25 s
        high += s[i] > 0.0f;
    }
    EXPECT_NEAR(static_cast<double>(high), 25.0, 1.0);
}

TEST(Stages, ASweptDutyStaysWhereThePulseSounds) {
    // From 0.5 down by 1 a second, held at 0.05 from 0.45 s on: still 5 high samples of every 100,
    // not a constant level.
    SfxPatch p = flat_pulse(441.0);
    p.duty = 0.5;
    p.duty_sweep = -1.0;
    const SampleBuffer s = render_sfx(p, 1.0, 44100);
    std::size_t high = 0;
    for (std::size_t i = 40000; i < 40100; ++i) {
        high += s[i] > 0.0f;
    }
    EXPECT_NEAR(static_cast<double>(high), 5.0, 1.0);
    p.duty_sweep = 3.0;  // up, held at 0.95
    const SampleBuffer up = render_sfx(p, 1.0, 44100);
    high = 0;
    for (std::size_t i = 40000; i < 40100; ++i) {
        high += up[i] > 0.0f;
    }
    EXPECT_NEAR(static_cast<double>(high), 95.0, 1.0);
}

TEST(Stages, NoiseBelowAPitchOfTheSoundsChoosing) {
    // A 100 Hz tone with noise 0 mixes noise below the default 120 Hz; with noise_below_hz 0 it is a
    // clean pulse, its periods all alike; at 200 Hz noise joins it again.
    SfxPatch p = flat_pulse(100.0);
    p.noise = 0.0;
    const SampleBuffer noisy = render_sfx(p, 0.1, 44100);
    p.noise_below_hz = 0.0;
    const SampleBuffer clean = render_sfx(p, 0.1, 44100);
    EXPECT_NE(noisy, clean);
    for (std::size_t i = 441; i < clean.size(); ++i) {
        ASSERT_EQ(std::fabs(clean[i]), 0.75f) << i;
    }
    p.noise_below_hz = 200.0;
    EXPECT_EQ(render_sfx(p, 0.1, 44100), noisy);
}

TEST(Stages, AHighPassRemovesAPulsesDcAndFundamental) {
    // A narrow 150 Hz pulse (above the 120 Hz under which noise joins) carries a DC of
    // 0.75 (2 * 0.125 - 1) = -0.5625.
    SfxPatch p = flat_pulse(150.0);
    p.duty = 0.125;
    auto mean_and_fundamental = [](const SampleBuffer& s) {
        double sum = 0.0;
        double re = 0.0;
        double im = 0.0;
        for (std::size_t i = 22050; i < 44100; ++i) {  // the second half second: 75 whole periods
            const double x = static_cast<double>(s[i]);
            sum += x;
            re += x * std::cos(2.0 * voice::pi * 150.0 * static_cast<double>(i) / 44100.0);
            im += x * std::sin(2.0 * voice::pi * 150.0 * static_cast<double>(i) / 44100.0);
        }
        return std::pair(sum / 22050.0, std::hypot(re, im) / 11025.0);
    };
    const auto [dc, fundamental] = mean_and_fundamental(render_sfx(p, 1.0, 44100));
    EXPECT_NEAR(dc, -0.5625, 0.002);  // 36.75 high samples a period, taken whole
    p.highpass_cutoff = 2000.0;
    const auto [dc_after, fundamental_after] = mean_and_fundamental(render_sfx(p, 1.0, 44100));
    EXPECT_LT(std::fabs(dc_after), 1e-4);
    EXPECT_LT(fundamental_after, fundamental / 100.0);  // two poles 13 times above it: about 1/180
}

TEST(Stages, PunchAndTremoloShapeTheLevel) {
    // An attack of 441 samples to twice the level (punch 0.5), a decay of 4410 back to 1 times a
    // sustain of 0.25; the pulse is 0.75 times a gain of 0.5, so the level alone shapes |x|.
    SfxPatch p = flat_pulse(441.0);
    p.attack = 0.01;
    p.decay = 0.1;
    p.sustain_level = 0.25;
    p.sustain_time = 0.5;
    p.punch = 0.5;
    p.gain = 0.5;
    const SampleBuffer punched = render_sfx(p, 0.5, 44100);
    EXPECT_NEAR(std::fabs(punched[220]), 0.375 * (220.0 / 441.0) * 2.0, 1e-6);  // the attack, doubled
    // Half way through the decay: level 1 - 0.5 * 0.75 = 0.625, punch 1 + 2 * 0.5 * 0.5 = 1.5.
    EXPECT_NEAR(std::fabs(punched[441 + 2205]), 0.375 * 0.625 * 1.5, 1e-6);
    EXPECT_NEAR(std::fabs(punched[441 + 4410 + 100]), 0.375 * 0.25, 1e-6);  // the sustain, unpunched
    // The attack hits hardest at its end and the level only falls from there: no second rise.
    for (std::size_t i = 441; i + 1 < 441 + 4410 + 200; ++i) {
        ASSERT_LE(std::fabs(punched[i + 1]), std::fabs(punched[i]) + 1e-6f) << i;
    }
    EXPECT_GT(std::fabs(punched[440]), 0.74f);

    SfxPatch t = flat_pulse(441.0);
    t.tremolo_depth = 0.5;
    t.tremolo_rate = 10.0;  // a period of 4410 samples, at 1 - depth half way
    const SampleBuffer trembling = render_sfx(t, 0.5, 44100);
    for (const std::size_t at : {0U, 4410U, 8820U}) {
        EXPECT_NEAR(std::fabs(trembling[at]), 0.75, 1e-6) << at;
        EXPECT_NEAR(std::fabs(trembling[at + 2205]), 0.375, 1e-6) << at;
        EXPECT_NEAR(std::fabs(trembling[at + 1102]), 0.5625, 1e-3) << at;  // a quarter: 1 - depth / 2
    }
}

TEST(Stages, APhaserAddsHalfOfTheSignalDelayed) {
    SfxPatch p = flat_pulse(441.0);
    const SampleBuffer dry = render_sfx(p, 0.05, 44100);
    p.phaser_offset = 10.25 / 44100.0;  // 10.25 samples: a quarter of the way past the tenth
    const SampleBuffer wet = render_sfx(p, 0.05, 44100);
    const double delay = p.phaser_offset * 44100.0;
    const double fraction = delay - std::floor(delay);
    for (std::size_t i = 0; i < dry.size(); ++i) {
        auto at = [&](std::size_t back) { return back <= i ? static_cast<double>(dry[i - back]) : 0.0; };
        const double expected =
            0.5 * static_cast<double>(dry[i]) + 0.5 * ((1.0 - fraction) * at(10) + fraction * at(11));
        ASSERT_EQ(wet[i], static_cast<float>(expected)) << i;
    }
}

TEST(Stages, SampleAndHoldAndBitCrushCoarsenTheSignal) {
    SfxPatch p = flat_pulse(1234.5);
    p.vibrato_depth = 300.0;  // a signal that changes every sample
    p.vibrato_rate = 7.0;
    p.sustain_level = 0.9;
    p.highpass_cutoff = 30.0;
    p.downsample_rate = 4410.0;  // runs of exactly 10 samples at 44100 Hz
    const SampleBuffer held = render_sfx(p, 0.2, 44100);
    for (std::size_t i = 0; i < held.size(); ++i) {
        ASSERT_EQ(held[i], held[i - i % 10]) << i;
    }
    p.downsample_rate = 0.0;
    p.bitcrush_bits = 3.0;  // k / 4 for k = -4 ... 4
    std::set<float> levels;
    for (const float v : render_sfx(p, 0.2, 44100)) {
        levels.insert(v);
    }
    EXPECT_LE(levels.size(), 9U);
    for (const float v : levels) {
        EXPECT_EQ(v * 4.0f, std::floor(v * 4.0f)) << v;
        EXPECT_GE(v, -1.0f);
        EXPECT_LE(v, 1.0f);
    }
    // Symmetric about zero, silence kept: one bit gives -1, 0 and 1, so a square of +-0.75 stays a
    // square of +-1 with no DC; two bits give the halves too.
    EXPECT_EQ(voice::crushed(0.0, 1.0), 0.0);
    EXPECT_EQ(voice::crushed(0.3, 1.0), 0.0);
    EXPECT_EQ(voice::crushed(0.75, 1.0), 1.0);
    EXPECT_EQ(voice::crushed(-0.75, 1.0), -1.0);
    EXPECT_EQ(voice::crushed(0.74, 2.0), 0.5);
    EXPECT_EQ(voice::crushed(-0.76, 2.0), -1.0);
    EXPECT_EQ(voice::crushed(-0.25, 2.0), -0.5);  // half away from zero, as for +0.25
    EXPECT_EQ(voice::crushed(1.7, 3.0), 1.0);
    for (const double x : {0.1, 0.37, 0.5, 0.83, 0.999}) {
        for (const double bits : {1.0, 2.0, 5.0, 15.0}) {
            EXPECT_EQ(voice::crushed(-x, bits), -voice::crushed(x, bits)) << x << " " << bits;
        }
    }
}

TEST(Stages, GainScalesBeforeTheClip) {
    SfxPatch p = flat_pulse(441.0);
    p.gain = 0.5;
    for (const float v : render_sfx(p, 0.01, 44100)) {
        ASSERT_EQ(std::fabs(v), 0.375f);
    }
    p.gain = 2.0;
    for (const float v : render_sfx(p, 0.01, 44100)) {
        ASSERT_EQ(std::fabs(v), 1.0f);
    }
}

// A stage set to change nothing still takes the stages' path: its samples are the original voice's, bit
// for bit, for every preset on every chip.
TEST(Stages, LeaveTheDesignsBitsWhenTheyChangeNothing) {
    for (int preset = 0; preset < 8; ++preset) {
        for (int chip = 0; chip < 4; ++chip) {
            const SfxPatch plain = make_patch(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip));
            SfxPatch identity = plain;
            identity.downsample_rate = 44100.0;  // a new value at every sample
            ASSERT_TRUE(stages_in_use(identity));
            const SampleBuffer a = render_sfx(plain, 0.5, 44100);
            const SampleBuffer b = render_sfx(identity, 0.5, 44100);
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t i = 0; i < a.size(); ++i) {
                ASSERT_EQ(std::bit_cast<std::uint32_t>(a[i]), std::bit_cast<std::uint32_t>(b[i]))
                    << preset << " " << chip << " sample " << i;
            }
        }
    }
}

}  // namespace
}  // namespace bleepforge

namespace bleepforge {
namespace {

std::uint64_t fnv_floats(std::uint64_t hash, const SampleBuffer& samples) {
    for (const float sample : samples) {
        const auto bits = std::bit_cast<std::uint32_t>(sample);
        for (unsigned shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((bits >> shift) & 0xFFU)) * 1099511628211ULL;
        }
    }
    return hash;
}

// Whether the low-pass's coefficient rises above its bound anywhere in a render, following the same
// pitch and cutoff as the renderer's units: the renders the bound changes, which all grew without
// limit or rang at half the rate before it.
bool passes_filter_bound(const SfxPatch& p, double duration_s, std::int32_t rate_hz) {
    if (!filter_is_on(p)) {
        return false;
    }
    const auto rate = static_cast<double>(rate_hz);
    const auto count = static_cast<std::uint64_t>(duration_s * rate);
    const voice::FilterDamping damping = voice::filter_damping(p.noise);
    voice::PitchStages tone(p, rate);
    for (std::uint64_t i = 0; i < count; ++i) {
        const double freq_hz = tone.step({i, static_cast<double>(i), static_cast<double>(i) / rate}).freq_hz;
        const double t = static_cast<double>(i) / rate;
        const double cutoff = p.filter_sweep != 0.0
                                  ? voice::swept(p.filter_cutoff, p.filter_sweep, t, 0.0, 1.0)
                                  : p.filter_cutoff;
        const double cutoff_hz = std::min(0.45 * rate, std::max(50.0, 4.0 * freq_hz * cutoff));
        if (2.0 * std::sin(cutoff_hz * voice::pi / rate) > damping.k_max) {
            return true;
        }
    }
    return false;
}

// One FNV-1a hash of a set of renders' floats, and of the renders whose filter stays below its bound.
struct Hashes {
    std::uint64_t all = 1469598103934665603ULL;
    std::uint64_t below_bound = 1469598103934665603ULL;
    std::size_t bounded = 0;
    std::size_t samples = 0;

    void add(const SampleBuffer& samples_of_one, bool bounded_one) {
        all = fnv_floats(all, samples_of_one);
        if (bounded_one) {
            ++bounded;
        } else {
            below_bound = fnv_floats(below_bound, samples_of_one);
        }
        samples += samples_of_one.size();
    }
};

// Patches of the original fourteen members only, drawn across their ranges. The floats of those
// whose filter stays below its bound were recorded from the build before the stages came, and every
// build since must give them; the others' floats were re-recorded with the bound.
TEST(Stages, LeaveTwoHundredFormatOneSoundsAsTheyWere) {
    Hashes hashes;
    for (const testing_support::TimedPatch& timed : testing_support::format_one_patches()) {
        hashes.add(render_sfx(timed.patch, timed.duration_s, 44100),
                   passes_filter_bound(timed.patch, timed.duration_s, 44100));
    }
    EXPECT_EQ(hashes.samples, 953119U);
    EXPECT_EQ(hashes.bounded, 109U);
    const std::vector<std::uint64_t> recorded =
        testing_support::recorded_hashes(BLEEPFORGE_RENDER_HASHES, "format_one");
    ASSERT_EQ(recorded.size(), 2U);
    EXPECT_EQ(hashes.all, recorded[0]) << std::hex << "0x" << hashes.all;
    EXPECT_EQ(hashes.below_bound, recorded[1]) << std::hex << "0x" << hashes.below_bound;
}

// 200 sound files with every stage in use (tests/reference/stage_sounds.jsonl): one hash of their
// floats (tests/reference/render_hashes.txt), recorded from the Linux build, for every build: clang,
// the sanitizers, Windows, and the WebAssembly module, whose Node test reads the same file. (The 62
// whose low-pass passes its bound are those it changed.)
TEST(Stages, GiveTheRecordedFloatsForTwoHundredSoundsUsingEveryStage) {
    std::ifstream in(BLEEPFORGE_STAGE_SOUNDS);
    ASSERT_TRUE(in) << BLEEPFORGE_STAGE_SOUNDS;
    Hashes hashes;
    std::size_t sounds = 0;
    for (std::string line; std::getline(in, line);) {
        const SoundReading reading = read_sound(line);
        ASSERT_TRUE(reading.sound) << line;
        const SfxPatch& p = reading.sound->patch;
        ASSERT_TRUE(stages_in_use(p));
        const SampleBuffer samples = render_sound(*reading.sound, 44100);
        const SampleBuffer plain = render_sfx_reference(p, reading.sound->duration_s, 44100);
        ASSERT_EQ(fnv_floats(0, samples), fnv_floats(0, plain)) << line;
        hashes.add(samples, passes_filter_bound(p, reading.sound->duration_s, 44100));
        ++sounds;
    }
    EXPECT_EQ(sounds, 200U);
    EXPECT_EQ(hashes.bounded, 62U);
    const std::vector<std::uint64_t> recorded =
        testing_support::recorded_hashes(BLEEPFORGE_RENDER_HASHES, "stage_sounds");
    ASSERT_EQ(recorded.size(), 1U);
    EXPECT_EQ(hashes.all, recorded[0]) << std::hex << "0x" << hashes.all;
}

}  // namespace
}  // namespace bleepforge
