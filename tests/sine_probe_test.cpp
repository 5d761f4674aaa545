// Every argument that the recorded renders give nearest_sine, seen from inside: this test links a
// build of the renderer and the sound library in which each call records its argument and result
// (BLEEPFORGE_SINE_PROBE, tests/CMakeLists.txt), renders the recorded sets, and counts the calls and
// those where the C library's sine, which made the recordings, gives other bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"
#include "format_one_patches.hpp"
#include "recorded_hashes.hpp"
#include "sine.hpp"
#include "test_scale.hpp"

namespace bleepforge::voice::nearest_sine_parts {
namespace {

struct Probe {
    std::vector<std::uint64_t> arguments;  // every call's, as bits
    std::vector<double> differing;         // those where the library's bits are other
};

Probe probe;  // the one piece of state: what the renders below have called

}  // namespace

void record_sine(double x, double result) {
    probe.arguments.push_back(std::bit_cast<std::uint64_t>(x));
    const double library = std::sin(x);
    if (std::bit_cast<std::uint64_t>(library) != std::bit_cast<std::uint64_t>(result) &&
        !(std::isnan(library) && std::isnan(result))) {
        probe.differing.push_back(x);
    }
}

}  // namespace bleepforge::voice::nearest_sine_parts

namespace bleepforge {
namespace {

using voice::nearest_sine_parts::probe;

std::uint64_t fnv_floats(std::uint64_t hash, const SampleBuffer& samples) {
    for (const float sample : samples) {
        const auto bits = std::bit_cast<std::uint32_t>(sample);
        for (unsigned shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((bits >> shift) & 0xFFU)) * 1099511628211ULL;
        }
    }
    return hash;
}

std::uint64_t fnv_text(std::uint64_t hash, const std::string& text) {
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return hash;
}

std::size_t distinct(std::vector<std::uint64_t> values) {
    std::sort(values.begin(), values.end());
    return static_cast<std::size_t>(std::unique(values.begin(), values.end()) - values.begin());
}

// The calls one set of renders made, printed with the arguments where the library sine differs. Each
// of those must be one the library misrounds, as far as glibc's sinl on x86-64 can tell: within its
// own error of a midpoint it cannot, and such arguments are counted apart.
void expect_only_library_misroundings(const char* set) {
    std::vector<std::uint64_t> differing_bits;
    for (const double x : probe.differing) {
        differing_bits.push_back(std::bit_cast<std::uint64_t>(x));
    }
    std::sort(differing_bits.begin(), differing_bits.end());
    differing_bits.erase(std::unique(differing_bits.begin(), differing_bits.end()), differing_bits.end());
    std::printf(
        "%s: %zu sine calls (%zu arguments), %zu calls (%zu arguments) where the library sine differs\n", set,
        probe.arguments.size(), distinct(probe.arguments), probe.differing.size(), differing_bits.size());
    std::size_t too_near_to_judge = 0;
    for (const std::uint64_t bits : differing_bits) {
        const double x = std::bit_cast<double>(bits);
        const double ours = voice::nearest_sine(x);
        const double library = std::sin(x);
#if defined(__GLIBC__) && (defined(__x86_64__) || defined(__i386__))
        if constexpr (std::numeric_limits<long double>::digits == 64) {
            const long double reference = sinl(static_cast<long double>(x));
            const long double ours_off = std::fabs(static_cast<long double>(ours) - reference);
            const long double library_off = std::fabs(static_cast<long double>(library) - reference);
            const long double margin = std::fabs(reference) * 0x1p-62L;
            too_near_to_judge += std::fabs(ours_off - library_off) <= margin;
            EXPECT_LE(ours_off, library_off + margin) << std::hexfloat << x;
        }
#endif
        if (bits == differing_bits.front() || bits == differing_bits.back()) {
            std::printf("  for example %a: ours %a, the library's %a\n", x, ours, library);
        }
    }
    if (too_near_to_judge > 0) {
        std::printf("  %zu of them too near a midpoint for sinl to tell\n", too_near_to_judge);
    }
    probe = {};
}

// The 8 presets on the 4 chips, half a second at 44100 Hz (synth_test's recorded floats).
TEST(SineProbe, CountsTheArgumentsOfThePresetsOnEveryChip) {
    probe = {};
    for (int preset = 0; preset < 8; ++preset) {
        for (int chip = 0; chip < 4; ++chip) {
            (void)render_sfx(make_patch(static_cast<SfxPreset>(preset), static_cast<ChipType>(chip)), 0.5,
                             44100);
        }
    }
    EXPECT_GT(probe.arguments.size(), 100000U);
    expect_only_library_misroundings("presets on every chip");
}

// The 200 sounds with every stage (tests/reference/stage_sounds.jsonl) and the 200 of format 1,
// their hashes those recorded in tests/reference/: the probe build renders the recorded floats.
TEST(SineProbe, CountsTheArgumentsOfTheRecordedSounds) {
    if (!testing_support::every_case) {
        GTEST_SKIP() << "the arguments are every build's; an optimised build counts them in seconds";
    }
    probe = {};
    std::ifstream in(BLEEPFORGE_STAGE_SOUNDS);
    ASSERT_TRUE(in) << BLEEPFORGE_STAGE_SOUNDS;
    std::uint64_t hash = 1469598103934665603ULL;
    for (std::string line; std::getline(in, line);) {
        const SoundReading reading = read_sound(line);
        ASSERT_TRUE(reading.sound) << line;
        hash = fnv_floats(hash, render_sound(*reading.sound, 44100));
    }
    EXPECT_EQ(hash, testing_support::recorded_hashes(BLEEPFORGE_RENDER_HASHES, "stage_sounds").at(0));
    expect_only_library_misroundings("sounds using every stage");

    hash = 1469598103934665603ULL;
    for (const testing_support::TimedPatch& timed : testing_support::format_one_patches()) {
        hash = fnv_floats(hash, render_sfx(timed.patch, timed.duration_s, 44100));
    }
    EXPECT_EQ(hash, testing_support::recorded_hashes(BLEEPFORGE_RENDER_HASHES, "format_one").at(0));
    expect_only_library_misroundings("sounds of format 1");
}

// random_sound and mutate_sound render to measure what they make: seeds 0 to 99 of each family, as
// variation_test.cpp's recorded files (the first family's hashes checked here too).
TEST(SineProbe, CountsTheArgumentsOfTheRecordedVariations) {
    if (!testing_support::every_case) {
        GTEST_SKIP() << "the arguments are every build's; an optimised build counts them in seconds";
    }
    probe = {};
    std::uint64_t random_hash = 1469598103934665603ULL;
    std::uint64_t mutated_hash = 1469598103934665603ULL;
    for (std::size_t family = 0; family < 8; ++family) {
        for (std::uint64_t seed = 0; seed < 100; ++seed) {
            const Sound s =
                random_sound(static_cast<SfxPreset>(family), static_cast<ChipType>(seed % 4), seed);
            const Sound mutated = mutate_sound(s, 0.5, seed + 1000);
            if (family == 0) {
                random_hash = fnv_text(random_hash, write_sound(s));
                mutated_hash = fnv_text(mutated_hash, write_sound(mutated));
            }
        }
    }
    const std::vector<std::uint64_t> recorded =
        testing_support::recorded_hashes(BLEEPFORGE_VARIATION_HASHES, preset_words[0]);
    ASSERT_EQ(recorded.size(), 2U);
    EXPECT_EQ(random_hash, recorded[0]);
    EXPECT_EQ(mutated_hash, recorded[1]);
    EXPECT_GT(probe.arguments.size(), 0U);
    expect_only_library_misroundings("variations of the first hundred seeds");
}

}  // namespace
}  // namespace bleepforge
