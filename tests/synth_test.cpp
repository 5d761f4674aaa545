#include "bleepforge/synth.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "fast_sine.hpp"
#include "fm_block.hpp"
#include "reference.hpp"
#include "sine.hpp"
#include "sine_bound.hpp"
#include "test_bytes.hpp"
#include "test_patches.hpp"
#include "test_scale.hpp"
#include "voice.hpp"

namespace bleepforge {
namespace {

using testing_support::flat_patch;
using testing_support::same_bits;

TEST(RenderSfx, CountsDurationTimesRateTruncated) {
    const SfxPatch p = make_patch(SfxPreset::laser, ChipType::nes);
    EXPECT_EQ(render_sfx(p, 0.5, 44100).size(), 22050U);
    EXPECT_EQ(render_sfx(p, 0.7, 44100).size(), 30869U);  // 30869.999999999996
    EXPECT_EQ(render_sfx(p, 1.0 / 44100.0, 44100).size(), 1U);
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    // Below one sample, negative, NaN or infinite: no samples.
    for (const double duration : {0.5, -0.5, 0.00001, nan, inf, -inf}) {
        for (const std::int32_t rate : {0, -44100, 44100}) {
            if (duration != 0.5 || rate != 44100) {
                EXPECT_TRUE(render_sfx(p, duration, rate).empty()) << duration << " s at " << rate;
            }
        }
    }
}

TEST(RenderSfx, IsDeterministicStartsSilentAndEndsWithTheEnvelope) {
    for (int preset = 0; preset < 8; ++preset) {
        for (int chip = 0; chip < 4; ++chip) {
            SCOPED_TRACE(testing::Message() << "preset " << preset << " chip " << chip);
            const SfxPatch p = make_patch(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip));
            const SampleBuffer a = render_sfx(p, 0.5, 44100);
            EXPECT_EQ(a, render_sfx(p, 0.5, 44100));
            EXPECT_EQ(a[0], 0.0f);  // the attack starts from silence
            const double end_s = p.attack + p.decay + p.sustain_time + p.release;
            bool silent_after_end = true;
            bool in_range = true;
            for (std::size_t i = 0; i < a.size(); ++i) {
                in_range = in_range && a[i] >= -1.0f && a[i] <= 1.0f;
                if (static_cast<double>(i) / 44100.0 >= end_s) {
                    silent_after_end = silent_after_end && a[i] == 0.0f;
                }
            }
            EXPECT_TRUE(silent_after_end);
            EXPECT_TRUE(in_range);
        }
    }
}

TEST(EnvelopeLevel, RisesDecaysHoldsReleasesThenStaysSilent) {
    SfxPatch p = make_patch(SfxPreset::blip, ChipType::nes);
    p.attack = 0.5;
    p.decay = 0.25;
    p.sustain_time = 0.5;
    p.release = 0.5;
    p.sustain_level = 0.5;
    auto level = [&p](double t) { return voice::envelope_level(voice::make_envelope(p), t); };
    EXPECT_EQ(voice::envelope_level(voice::make_envelope(p), 0.0), 0.0f);
    EXPECT_EQ(level(0.25), 0.5f);
    EXPECT_EQ(level(0.5), 1.0f);  // the boundary belongs to the decay
    EXPECT_EQ(level(0.625), 0.75f);
    EXPECT_EQ(level(0.75), 0.5f);  // sustain
    EXPECT_EQ(level(1.25), 0.5f);  // start of the release
    EXPECT_EQ(level(1.5), 0.25f);
    EXPECT_EQ(level(1.75), 0.0f);
    EXPECT_EQ(level(100.0), 0.0f);
    // Zero-length segments divide by 0.001 but keep their boundaries: no attack, decay held.
    p.attack = 0.0;
    p.decay = 0.0;
    EXPECT_EQ(level(0.0), 0.5f);
    // Levels outside [0, 1] are clamped.
    p.sustain_level = 3.0;
    EXPECT_EQ(level(0.1), 1.0f);
    p.sustain_level = -3.0;
    EXPECT_EQ(level(0.1), 0.0f);
}

TEST(Generators, HaveTheirLevelsAndShapes) {
    EXPECT_EQ(voice::pulse(0.0, 0.5), 0.75f);
    EXPECT_EQ(voice::pulse(0.4999, 0.5), 0.75f);
    EXPECT_EQ(voice::pulse(0.5, 0.5), -0.75f);
    EXPECT_EQ(voice::pulse(0.2, 0.125), -0.75f);

    // The stepped triangle: 0..15, 15..0 over 32 steps, levels -1 + 2n/15.
    std::set<float> levels;
    for (int k = 0; k < 32; ++k) {
        const int n = k <= 15 ? k : 31 - k;
        const float v = voice::stepped_triangle((k + 0.5) / 32.0);
        EXPECT_EQ(v, static_cast<float>(n) / 7.5f - 1.0f) << k;
        levels.insert(v);
    }
    EXPECT_EQ(levels.size(), 16U);
    EXPECT_EQ(*levels.begin(), -1.0f);
    EXPECT_EQ(*levels.rbegin(), 1.0f);
    EXPECT_EQ(voice::stepped_triangle(1.0), -1.0f);  // a backwards phase can round up to 1
    EXPECT_EQ(voice::stepped_triangle(std::nan("")), -1.0f);

    // Saw plus pulse with duty 0.5: -0.1 at the start, just under 0.4 before mid-cycle, -0.4 at
    // mid-cycle, just under 0.1 at the end; never beyond 0.9.
    EXPECT_EQ(voice::saw_pulse(0.0, 0.5), (-1.0f + 0.8f) * 0.5f);
    EXPECT_NEAR(voice::saw_pulse(0.0, 0.5), -0.1f, 1e-7);
    EXPECT_NEAR(voice::saw_pulse(0.4999, 0.5), 0.4f, 1e-3);
    EXPECT_LT(voice::saw_pulse(0.4999, 0.5), 0.4f);
    EXPECT_EQ(voice::saw_pulse(0.5, 0.5), -0.4f);
    EXPECT_NEAR(voice::saw_pulse(0.9999, 0.5), 0.1f, 1e-3);
    for (double c = 0.0; c < 1.0; c += 0.001) {
        for (const double duty : {0.0, 0.125, 0.5, 1.0}) {
            EXPECT_LE(std::fabs(voice::saw_pulse(c, duty)), 0.9f);
        }
    }

    EXPECT_EQ(voice::cycle_position(0.0), 0.0);
    EXPECT_NEAR(voice::cycle_position(-voice::pi), 0.5, 1e-15);  // floor, not truncation
}

TEST(NoiseRegister, StartsWithFourteenOnesAndRepeatsEvery32767Steps) {
    std::uint32_t lfsr = 0x7FFF;
    for (int i = 0; i < 14; ++i) {
        EXPECT_TRUE(voice::step_lfsr(lfsr)) << i;
    }
    EXPECT_FALSE(voice::step_lfsr(lfsr));
    lfsr = 0x7FFF;
    int period = 0;
    do {
        (void)voice::step_lfsr(lfsr);
        ++period;
    } while (lfsr != 0x7FFF && period < 40000);
    EXPECT_EQ(period, 32767);
    // The mix is single precision: 0.4f, not the double 0.4.
    EXPECT_EQ(voice::mix_noise(0.0f, true), 0.4f);
    EXPECT_EQ(voice::mix_noise(0.75f, false), 0.75f * 0.6f - 0.4f);
}

TEST(RenderSfx, RepeatsEvery100SamplesAt441Hz) {
    for (const ChipType chip : {ChipType::nes, ChipType::sid, ChipType::ym2612}) {
        SfxPatch p = flat_patch(chip, 441.0);
        if (chip == ChipType::ym2612) {
            p.fm_ratio = 2.0;
            p.fm_index = 1.0;
        }
        const SampleBuffer s = render_sfx(p, 0.5, 44100);
        int differing = 0;
        for (std::size_t i = 100; i < s.size(); ++i) {
            if (chip == ChipType::ym2612) {
                EXPECT_NEAR(s[i], s[i - 100], 1e-6f) << i;
            } else if (s[i] != s[i - 100]) {
                ++differing;  // a cycle_pos within rounding distance of 0 or the duty
            }
        }
        EXPECT_LT(differing, 200) << static_cast<int>(chip);
    }
    const SampleBuffer pulse = render_sfx(flat_patch(ChipType::nes, 441.0), 0.01, 44100);
    EXPECT_EQ(pulse[0], 0.75f);
    EXPECT_EQ(pulse[49], 0.75f);
    EXPECT_EQ(pulse[51], -0.75f);
    EXPECT_EQ(pulse[99], -0.75f);
}

bool all_of_magnitude(const SampleBuffer& s, float magnitude) {
    for (const float v : s) {
        if (std::fabs(v) != magnitude) {
            return false;
        }
    }
    return true;
}

TEST(RenderSfx, SwitchesExactlyAtItsThresholds) {
    // nes turns to the stepped triangle for slides steeper than -1000 Hz/s; gameboy never does.
    SfxPatch p = flat_patch(ChipType::nes, 5000.0);
    p.freq_slide = -1000.0;
    EXPECT_TRUE(all_of_magnitude(render_sfx(p, 0.05, 44100), 0.75f));
    p.freq_slide = std::nextafter(-1000.0, -2000.0);
    EXPECT_FALSE(all_of_magnitude(render_sfx(p, 0.05, 44100), 0.75f));
    p.chip = ChipType::gameboy;
    EXPECT_TRUE(all_of_magnitude(render_sfx(p, 0.05, 44100), 0.75f));

    // Noise on every sample only above 0.25; the unknown chip makes the layer audible alone.
    SfxPatch silent = flat_patch(static_cast<ChipType>(9), 1000.0);
    silent.noise = 0.25;
    EXPECT_TRUE(all_of_magnitude(render_sfx(silent, 0.05, 44100), 0.0f));
    silent.noise = std::nextafter(0.25, 1.0);
    EXPECT_TRUE(all_of_magnitude(render_sfx(silent, 0.05, 44100), 0.4f));

    // At or below 0.25, noise only while the pitch is below 120 Hz.
    silent.noise = 0.0;
    silent.base_freq = 120.0;
    EXPECT_TRUE(all_of_magnitude(render_sfx(silent, 0.05, 44100), 0.0f));
    silent.base_freq = std::nextafter(120.0, 0.0);
    EXPECT_TRUE(all_of_magnitude(render_sfx(silent, 0.05, 44100), 0.4f));

    // The filter runs below a cutoff factor of 0.98.
    SfxPatch filtered = flat_patch(ChipType::gameboy, 1000.0);
    filtered.filter_cutoff = 0.98;
    EXPECT_TRUE(all_of_magnitude(render_sfx(filtered, 0.05, 44100), 0.75f));
    filtered.filter_cutoff = std::nextafter(0.98, 0.0);
    EXPECT_FALSE(all_of_magnitude(render_sfx(filtered, 0.05, 44100), 0.75f));
}

TEST(RenderSfx, HoldsAPitchPushedBelow20HzAndMixesNoiseFromThere) {
    SfxPatch p = flat_patch(ChipType::gameboy, 200.0);
    p.freq_slide = -44100.0 * 10.0;  // 10 Hz down per sample
    const SampleBuffer s = render_sfx(p, 0.1, 44100);
    // The slide applies before the first sample: 190, 180, ... 130 Hz are still clean.
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(std::fabs(s[i]), 0.75f) << i;
    }
    const std::set<float> noisy{0.75f * 0.6f + 0.4f, 0.75f * 0.6f - 0.4f, -0.75f * 0.6f + 0.4f,
                                -0.75f * 0.6f - 0.4f};
    for (std::size_t i = 8; i < s.size(); ++i) {
        ASSERT_EQ(noisy.count(s[i]), 1U) << i;
    }
    // At 20 Hz held, the pulse period is 2205 samples with the high half first.
    EXPECT_GT(s[100], 0.0f);
    EXPECT_LT(s[1500], 0.0f);
}

TEST(RenderSfx, StartsTheFmVoiceAtZeroAndSilencesUnknownChips) {
    const SampleBuffer fm = render_sfx(flat_patch(ChipType::ym2612, 440.0), 0.01, 44100);
    EXPECT_EQ(fm[0], 0.0f);
    EXPECT_NE(fm[1], 0.0f);
    EXPECT_TRUE(
        all_of_magnitude(render_sfx(flat_patch(static_cast<ChipType>(-5), 440.0), 0.01, 44100), 0.0f));
}

TEST(RenderSfx, KeepsEverySampleInRangeWhateverThePatch) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    SfxPatch unstable = flat_patch(ChipType::sid, 3000.0);
    unstable.filter_cutoff = 0.9;
    unstable.noise = 40.0;  // damping far below zero: the filter grows until it overflows
    SfxPatch nan_patch = flat_patch(ChipType::ym2612, nan);
    nan_patch.sustain_level = nan;
    SfxPatch inf_patch = flat_patch(ChipType::nes, inf);
    inf_patch.freq_slide = -inf;
    inf_patch.vibrato_depth = inf;
    for (const SfxPatch& p : {unstable, nan_patch, inf_patch}) {
        for (const float v : render_sfx(p, 0.2, 44100)) {
            ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << v;
        }
    }
}

}  // namespace
}  // namespace bleepforge

namespace bleepforge {
namespace {

using testing_support::SplitMix;

using testing_support::random_patch;

// The fast renderer must give the plain one's bytes exactly, signs of zero included.
TEST(RenderSfx, MatchesThePlainRendererBitForBit) {
    for (int preset = 0; preset < 8; ++preset) {
        for (int chip = -1; chip < 5; ++chip) {
            const SfxPatch p = make_patch(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip));
            ASSERT_TRUE(same_bits(render_sfx(p, 0.5, 44100), render_sfx_reference(p, 0.5, 44100)))
                << preset << " " << chip;
        }
    }
    SplitMix rng{2026};
    std::size_t samples = 0;
    for (std::uint64_t n = 0; n < testing_support::random_cases(400, 100); ++n) {
        const SfxPatch p = random_patch(rng);
        const auto rate = static_cast<std::int32_t>(rng.uniform(8000.0, 96000.0));
        const double duration_s = rng.uniform(0.0, 0.2);
        const SampleBuffer fast = render_sfx(p, duration_s, rate);
        samples += fast.size();
        ASSERT_TRUE(same_bits(fast, render_sfx_reference(p, duration_s, rate))) << "patch " << n;
    }
    EXPECT_GT(samples, testing_support::random_cases(1000000, 250000));
}

// The FM voice's fast sine decides the float only where its error bound allows.
TEST(FmVoice, GivesTheNarrowedNearestSineEverywhere) {
    SplitMix rng{7};
    int disagreements = 0;
    for (int n = 0; n < 2000000; ++n) {
        const double phase = rng.uniform(-3000.0, 70000.0);
        const double mod_phase = rng.uniform(-3000.0, 200000.0);
        const double index = rng.uniform(-20.0, 20.0);
        const auto expected =
            static_cast<float>(voice::nearest_sine(phase + index * voice::nearest_sine(mod_phase)));
        disagreements += std::bit_cast<std::uint32_t>(voice::fm_voice(phase, mod_phase, index)) !=
                         std::bit_cast<std::uint32_t>(expected);
    }
    EXPECT_EQ(disagreements, 0);

    // The same through the block function, whose lanes run four at a time where AVX2 is there;
    // odd inputs sit among ordinary ones and the count is not a multiple of four.
    constexpr std::size_t count = 1000003;
    std::vector<double> phases(count);
    std::vector<double> mod_phases(count);
    for (std::size_t j = 0; j < count; ++j) {
        phases[j] = rng.uniform(-3000.0, 70000.0);
        mod_phases[j] = rng.uniform(-3000.0, 200000.0);
    }
    const double odd_values[] = {0.0, -0.0, 1e300, std::numeric_limits<double>::quiet_NaN(), 0x1p20, 0x1p21};
    for (std::size_t j = 0; j < std::size(odd_values); ++j) {
        phases[97 * j + 5] = odd_values[j];
        mod_phases[89 * j + 2] = odd_values[j];
    }
    for (const double index : {2.5, -7.25, 0.0}) {
        std::vector<float> voices(count);
        voice::fm_voices(phases.data(), mod_phases.data(), index, voices.data(), count);
        std::size_t wrong = 0;
        for (std::size_t j = 0; j < count; ++j) {
            const auto expected = static_cast<float>(
                voice::nearest_sine(phases[j] + index * voice::nearest_sine(mod_phases[j])));
            wrong += std::bit_cast<std::uint32_t>(voices[j]) != std::bit_cast<std::uint32_t>(expected) &&
                     !(std::isnan(voices[j]) && std::isnan(expected));
        }
        EXPECT_EQ(wrong, 0U) << index;
    }

    for (const double odd : {0.0, -0.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), 0x1p20, 0x1p20 + 1.0}) {
        const auto expected = static_cast<float>(voice::nearest_sine(odd + 2.5 * voice::nearest_sine(odd)));
        const float got = voice::fm_voice(odd, odd, 2.5);
        EXPECT_TRUE(std::bit_cast<std::uint32_t>(got) == std::bit_cast<std::uint32_t>(expected) ||
                    (std::isnan(got) && std::isnan(expected)))
            << odd;
    }
}

}  // namespace
}  // namespace bleepforge

namespace bleepforge {
namespace {

// FNV-1a over the float bits of each preset (rows) on each chip (columns, nes sid gameboy ym2612),
// recorded from the Linux build. The files only show the 16-bit values; this holds every platform
// and compiler to the same floats, which no library sine's last bits can move.
TEST(RenderSfx, GivesTheSameFloatsOnEveryPlatform) {
    constexpr std::uint64_t expected[8][4] = {
        {0xa31bdfb9887d9c7cULL, 0x7477fdf3b1c9947aULL, 0xb5afb08f334d5d8cULL, 0x3f62d4c72ac835b1ULL},
        {0x52b39f9e0b2456e2ULL, 0xaeea7c7e88e0ac19ULL, 0x52b39f9e0b2456e2ULL, 0x7eb5072d3992cb87ULL},
        {0x2d6d16325d8aeb7eULL, 0xce72ed019299849bULL, 0x2d6d16325d8aeb7eULL, 0x18ab1be04ef13afdULL},
        {0xd34b2e93c556a3bfULL, 0x068a7849d0ca8c75ULL, 0xd34b2e93c556a3bfULL, 0x57619cb37d439800ULL},
        {0x72fc22f6a135da70ULL, 0x7858caae4812eb2cULL, 0x72fc22f6a135da70ULL, 0x98c741e5f46ae930ULL},
        {0xa82e80cae309c689ULL, 0x8421838a04d52709ULL, 0xa82e80cae309c689ULL, 0xe11add91eb22fa4bULL},
        {0x3388062a5c2b02fbULL, 0x27bf33d2a451ea9dULL, 0x3388062a5c2b02fbULL, 0xe9b701352b6a2214ULL},
        {0xfb76baa08f42bd1dULL, 0x5a89a8a56af73a46ULL, 0xfb76baa08f42bd1dULL, 0x4cf09bea93f2a297ULL},
    };
    for (int preset = 0; preset < 8; ++preset) {
        for (int chip = 0; chip < 4; ++chip) {
            const SampleBuffer samples = render_sfx(
                make_patch(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip)), 0.5, 44100);
            std::uint64_t hash = 1469598103934665603ULL;
            for (const float sample : samples) {
                const auto bits = std::bit_cast<std::uint32_t>(sample);
                for (unsigned shift = 0; shift < 32; shift += 8) {
                    hash = (hash ^ ((bits >> shift) & 0xFFU)) * 1099511628211ULL;
                }
            }
            EXPECT_EQ(hash, expected[preset][chip]) << "preset " << preset << " chip " << chip;
        }
    }
}

}  // namespace
}  // namespace bleepforge

namespace bleepforge {
namespace {

// The pitch's upper bound, the step and the render: a pitch pushed past 20000 Hz holds there.
TEST(PitchClamp, HoldsThePitchAt20000HzFromAbove) {
    EXPECT_EQ(voice::slide_pitch(19999.0, 0.5), 19999.5);
    EXPECT_EQ(voice::slide_pitch(19999.0, 1.0), 20000.0);
    EXPECT_EQ(voice::slide_pitch(19999.0, 1.5), 20000.0);
    EXPECT_EQ(voice::slide_pitch(20000.0, 1e12), 20000.0);
    EXPECT_EQ(voice::slide_pitch(25000.0, -1.0), 20000.0);  // above the band, even while falling
    EXPECT_EQ(voice::slide_pitch(30.0, -10.5), 20.0);
    // The slide applies before the first sample, so a start above the band is 20000 Hz from
    // there on; the saw shows the cycle position, so any other pitch would change the bytes.
    for (const ChipType chip : {ChipType::sid, ChipType::ym2612}) {
        SfxPatch at_bound = flat_patch(chip, 20000.0);
        SfxPatch above = flat_patch(chip, 31000.0);
        above.freq_slide = 44100.0;  // another hertz every sample, held back every time
        const SampleBuffer expected = render_sfx(at_bound, 0.05, 44100);
        EXPECT_TRUE(same_bits(render_sfx(above, 0.05, 44100), expected));
        EXPECT_TRUE(same_bits(render_sfx_reference(above, 0.05, 44100), expected));
        at_bound.base_freq = 19990.0;
        EXPECT_FALSE(same_bits(render_sfx(at_bound, 0.05, 44100), expected));
    }
}

// The low-pass's coefficient is held where the filter still decays with a margin, k^2 + k q <= 2.
TEST(Filter, HoldsItsCoefficientWhereItDecays) {
    // Hand-derived bounds: q = 1 gives k = (sqrt(9) - 1) / 2 = 1; q = 0.5 solves k^2 + k / 2 = 2.
    EXPECT_EQ(voice::filter_damping(0.0).k_max, 1.0);
    const voice::FilterDamping half = voice::filter_damping(0.5);
    EXPECT_EQ(half.q, 0.5);
    EXPECT_NEAR(half.k_max * half.k_max + half.k_max * 0.5, 2.0, 1e-15);
    // At noise 1 the recursion would never decay: the damping is held at 1/32, a NaN too.
    EXPECT_EQ(voice::filter_damping(1.0).q, voice::min_filter_damping);
    EXPECT_EQ(voice::filter_damping(std::nan("")).q, voice::min_filter_damping);

    // At q = 1 and k = 1 the filter is a one-sample delay (to within rounding): low' = low + band,
    // band' = in - low'. So a tone at the bound (3000 Hz at cutoff 0.9, or 1000 Hz at 8000 Hz, which
    // the unbounded recursion turns into a full-scale burst and then silence) is the tone one sample
    // late, on every chip.
    for (int chip = 0; chip < 4; ++chip) {
        for (const auto& [freq_hz, rate_hz] :
             {std::pair{3000.0, 44100}, {1000.0, 8000}, {1000.0, 11025}, {15000.0, 44100}}) {
            SfxPatch plain = flat_patch(static_cast<ChipType>(chip), freq_hz);
            SfxPatch filtered = plain;
            filtered.filter_cutoff = 0.9;
            const SampleBuffer dry = render_sfx(plain, 0.2, rate_hz);
            const SampleBuffer wet = render_sfx(filtered, 0.2, rate_hz);
            ASSERT_EQ(wet.size(), dry.size());
            EXPECT_EQ(wet[0], 0.0f);
            for (std::size_t i = 1; i < wet.size(); ++i) {
                ASSERT_NEAR(wet[i], dry[i - 1], 1e-9)
                    << chip << " " << freq_hz << " Hz at " << rate_hz << ", sample " << i;
            }
        }
    }

    // Less damped, at the bound, it decays from an impulse within a few hundred samples and has
    // sound throughout a noisy tone's sustain, however high the pitch.
    for (const double noise : {0.3, 0.6, 1.0}) {
        voice::FilterState state;
        const voice::FilterDamping damping = voice::filter_damping(noise);
        float out = voice::filter_sample(state, 1.0f, 20000.0, 0.9, damping, 8000.0);
        for (int i = 0; i < 2000; ++i) {
            out = voice::filter_sample(state, 0.0f, 20000.0, 0.9, damping, 8000.0);
        }
        EXPECT_LT(std::fabs(out), 1e-12f) << noise;
        for (int chip = 0; chip < 4; ++chip) {
            for (const std::int32_t rate_hz : {8000, 44100}) {
                SfxPatch p = flat_patch(static_cast<ChipType>(chip), 12000.0);
                p.noise = noise;
                p.filter_cutoff = 0.9;
                const SampleBuffer s = render_sfx(p, 0.2, rate_hz);
                std::size_t zeros = 0;
                for (const float v : s) {
                    zeros += v == 0.0f;
                }
                EXPECT_LE(zeros, 2U) << noise << " " << chip << " " << rate_hz;
            }
        }
    }

    // Below the bound the cutoff follows the pitch; above it two cutoff factors give the same bytes.
    SfxPatch a = flat_patch(ChipType::gameboy, 10000.0);
    a.filter_cutoff = 0.9;
    SfxPatch b = a;
    b.filter_cutoff = 0.6;  // 24000 Hz asked for: both far above the bound's 7350 Hz
    EXPECT_TRUE(same_bits(render_sfx(a, 0.05, 44100), render_sfx(b, 0.05, 44100)));
    b.filter_cutoff = 0.15;  // 6000 Hz, below it
    EXPECT_FALSE(same_bits(render_sfx(a, 0.05, 44100), render_sfx(b, 0.05, 44100)));
}

// The fast sine claims its bound up to 2^20: hold it there, on both paths, and hold the FM voice's
// range check on each of its two phases.
TEST(FastSine, KeepsItsBoundToTheTopOfItsRange) {
    SplitMix rng{2020};
    double worst = 0.0;
    for (std::uint64_t n = 0; n < testing_support::random_cases(200000, 50000); ++n) {
        const double x = (rng.next() % 2 == 0 ? 1.0 : -1.0) * rng.uniform(0x1p19, 0x1p20);
        worst = std::max(worst, std::fabs(voice::fast_sine(x) - voice::nearest_sine(x)));
    }
    for (const double x : {0x1p20, -0x1p20, std::nextafter(0x1p20, 0.0), 0x1p20 - 0.5, 1048575.25}) {
        worst = std::max(worst, std::fabs(voice::fast_sine(x) - voice::nearest_sine(x)));
    }
    EXPECT_LT(worst, voice::sine_error_bound);

    // Carriers and modulators near the top, and modulators far beyond it with ordinary carriers:
    // every float is nearest_sine's, one at a time and four at a time.
    constexpr std::size_t count = 100003;
    std::vector<double> phases(count);
    std::vector<double> mod_phases(count);
    for (std::size_t j = 0; j < count; ++j) {
        switch (j % 3) {
        case 0:
            phases[j] = rng.uniform(0x1p20 - 64.0, 0x1p20);
            mod_phases[j] = rng.uniform(0x1p20 - 64.0, 0x1p20);
            break;
        case 1:
            phases[j] = rng.uniform(0.0, 100.0);
            mod_phases[j] = rng.uniform(2.9e9, 3.1e9);
            break;
        default:
            phases[j] = rng.uniform(0x1p20, 0x1p21);
            mod_phases[j] = rng.uniform(0.0, 100.0);
            break;
        }
    }
    for (const double index : {2.5, 0.25}) {
        std::vector<float> block(count);
        voice::fm_voices(phases.data(), mod_phases.data(), index, block.data(), count);
        std::size_t wrong_scalar = 0;
        std::size_t wrong_block = 0;
        for (std::size_t j = 0; j < count; ++j) {
            const float exact = voice::fm_voice_exact(phases[j], mod_phases[j], index);
            wrong_scalar += std::bit_cast<std::uint32_t>(voice::fm_voice(phases[j], mod_phases[j], index)) !=
                            std::bit_cast<std::uint32_t>(exact);
            wrong_block += std::bit_cast<std::uint32_t>(block[j]) != std::bit_cast<std::uint32_t>(exact);
        }
        EXPECT_EQ(wrong_scalar, 0U) << index;
        EXPECT_EQ(wrong_block, 0U) << index;
    }
    EXPECT_EQ(voice::fm_voice(1.0, 3e9, 2.5), voice::fm_voice_exact(1.0, 3e9, 2.5));
}

// The same bound on the four-lane sine itself, where AVX2 runs it (the WebAssembly build runs the
// same check on its SIMD lanes), and its lanes are the scalar sine's bits.
TEST(FastSine, KeepsItsBoundToTheTopOfItsRangeOnFourLanes) {
    const testing_support::SineBoundResult result = testing_support::four_lane_sine_bound(2021);
    EXPECT_LT(result.worst_error, voice::sine_error_bound) << "at " << result.worst_at;
    EXPECT_EQ(result.unlike_scalar, 0U);
    EXPECT_GT(result.count, 200000U);
    if (!voice::four_lanes_available()) {
        GTEST_SKIP() << "no AVX2 here: the scalar sine stood in for the lanes";
    }
}

}  // namespace
}  // namespace bleepforge
