#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "bleepforge/sound.hpp"
#include "bleepforge/synth.hpp"
#include "recorded_hashes.hpp"
#include "test_scale.hpp"

namespace bleepforge {
namespace {

using testing_support::random_cases;

float peak_of_first_half_second(const Sound& sound) {
    Sound head = sound;
    head.duration_s = std::min(sound.duration_s, 0.5);
    float peak = 0.0f;
    for (const float v : render_sound(head, 44100)) {
        peak = std::max(peak, std::fabs(v));
    }
    return peak;
}

// Every value random and mutate write is as a designer writes it: no more decimals than its row's
// (so 0.112, never 0.11199999999999999).
TEST(Variations, WriteEveryValueToItsRowsDecimals) {
    for (std::size_t family = 0; family < preset_words.size(); ++family) {
        for (std::uint64_t seed = 0; seed < random_cases(30, 8); ++seed) {
            const Sound made = random_sound(static_cast<SfxPreset>(family), static_cast<ChipType>(seed % 4), seed);
            for (const Sound& s : {made, mutate_sound(made, 0.7, seed)}) {
                for (const SoundField& field : sound_fields()) {
                    const double value = field.member != nullptr ? s.patch.*field.member : s.duration_s;
                    double scale = 1.0;
                    for (int d = 0; d < field.decimals; ++d) {
                        scale *= 10.0;
                    }
                    EXPECT_EQ(value, std::round(value * scale) / scale + 0.0) << field.name << " " << value;
                }
            }
        }
    }
}

TEST(RandomSound, KeepsItsFamilysCharacterInsideTheRangesAndIsAudible) {
    for (std::size_t family = 0; family < preset_words.size(); ++family) {
        for (std::size_t chip = 0; chip < chip_words.size(); ++chip) {
            for (std::uint64_t seed = 0; seed < random_cases(25, 5); ++seed) {
                SCOPED_TRACE(std::string(preset_words[family]) + " " + std::string(chip_words[chip]) +
                             " seed " + std::to_string(seed));
                const auto preset = static_cast<SfxPreset>(family);
                const Sound s = random_sound(preset, static_cast<ChipType>(chip), seed);
                ASSERT_TRUE(check_sound(s).empty()) << write_sound(s);
                EXPECT_EQ(s.preset, preset);
                EXPECT_EQ(s.patch.chip, static_cast<ChipType>(chip));
                EXPECT_GT(peak_of_first_half_second(s), 0.1f) << write_sound(s);
                const SfxPatch& p = s.patch;
                EXPECT_GE(s.duration_s, p.attack + p.decay + p.sustain_time + p.release);
                // What makes each family itself, from its preset.
                switch (preset) {
                case SfxPreset::laser:
                    EXPECT_LT(p.freq_slide, -500.0);
                    EXPECT_LT(s.duration_s, 0.4);
                    break;
                case SfxPreset::jump:
                case SfxPreset::coin:
                case SfxPreset::powerup:
                    EXPECT_GT(p.freq_slide, 0.0);
                    EXPECT_EQ(p.vibrato_depth > 0.0, preset == SfxPreset::powerup);
                    EXPECT_EQ(p.base_freq > 600.0, preset == SfxPreset::coin);
                    break;
                case SfxPreset::explosion:
                    EXPECT_LT(p.filter_cutoff, 0.98);
                    EXPECT_GT(p.noise, 0.25);
                    EXPECT_LT(p.base_freq, 200.0);
                    break;
                case SfxPreset::hit:
                case SfxPreset::game_over:
                    EXPECT_LT(p.freq_slide, 0.0);
                    EXPECT_EQ(p.vibrato_depth > 0.0, preset == SfxPreset::game_over);
                    break;
                case SfxPreset::blip:
                    EXPECT_EQ(p.freq_slide, 0.0);
                    EXPECT_LE(s.duration_s, 0.2);
                    break;
                }
                // The stages as the family uses them: a coin jumps up, the rest only where it suits.
                if (preset == SfxPreset::coin) {
                    EXPECT_GT(p.jump1_semitones, 0.0);
                    EXPECT_GT(p.jump1_time, 0.0);
                    EXPECT_LT(p.jump1_time, s.duration_s);
                }
                EXPECT_EQ(p.repeat_rate != 0.0, preset == SfxPreset::powerup && p.repeat_rate != 0.0);
                EXPECT_EQ(bitcrush_is_on(p) || downsample_is_on(p),
                          (preset == SfxPreset::explosion || preset == SfxPreset::hit) &&
                              (bitcrush_is_on(p) || downsample_is_on(p)));
                EXPECT_GE(p.highpass_cutoff, 20.0);
                EXPECT_LE(p.gain, 1.0);
                if (chip != static_cast<std::size_t>(ChipType::ym2612)) {
                    EXPECT_EQ(p.fm_index, 0.0);
                }
            }
        }
    }
}

TEST(MutateSound, MovesALittleInsideTheRangesAndLeavesUnusedFeaturesOff) {
    const Sound laser = make_sound(SfxPreset::laser, ChipType::nes);
    EXPECT_EQ(write_sound(mutate_sound(laser, 0.0, 5)), write_sound(laser));
    EXPECT_EQ(write_sound(mutate_sound(laser, -3.0, 5)), write_sound(laser));  // clamped to 0
    EXPECT_EQ(write_sound(mutate_sound(laser, 7.0, 5)), write_sound(mutate_sound(laser, 1.0, 5)));
    EXPECT_EQ(write_sound(mutate_sound(laser, std::nan(""), 5)), write_sound(laser));

    for (std::size_t family = 0; family < preset_words.size(); ++family) {
        for (std::uint64_t seed = 0; seed < random_cases(40, 8); ++seed) {
            const auto chip = static_cast<ChipType>(seed % 4);
            const Sound before = make_sound(static_cast<SfxPreset>(family), chip);
            const Sound after = mutate_sound(before, 1.0, seed);
            SCOPED_TRACE(write_sound(after));
            ASSERT_TRUE(check_sound(after).empty());
            EXPECT_EQ(after.patch.chip, before.patch.chip);
            EXPECT_EQ(after.preset, before.preset);
            EXPECT_GE(after.duration_s, before.duration_s);  // lengthened only, to let the envelope end
            const SfxPatch& a = after.patch;
            // Long enough for the envelope to end: its sustain and release, silent at level 0, aside.
            EXPECT_GE(after.duration_s, a.sustain_level > 0.0 ? a.attack + a.decay + a.sustain_time + a.release
                                                              : a.attack + a.decay);
            // Stages a preset does not use stay unused (the high-pass against DC and the gain aside).
            EXPECT_EQ(a.freq_slide_accel, 0.0);
            EXPECT_EQ(a.jump1_semitones, 0.0);
            EXPECT_EQ(a.repeat_rate, 0.0);
            EXPECT_FALSE(phaser_is_on(a) || tremolo_is_on(a) || downsample_is_on(a) || bitcrush_is_on(a));
            EXPECT_NE(after.patch.base_freq, before.patch.base_freq);
            EXPECT_LE(std::fabs(after.patch.base_freq / before.patch.base_freq - 1.0), 0.3 + 1e-9);
            EXPECT_EQ(after.patch.filter_cutoff < 0.98, before.patch.filter_cutoff < 0.98);
            EXPECT_EQ(after.patch.noise > 0.0, before.patch.noise > 0.0);
            EXPECT_EQ(after.patch.vibrato_depth > 0.0, before.patch.vibrato_depth > 0.0);
            if (chip != ChipType::ym2612) {
                EXPECT_EQ(after.patch.fm_ratio, before.patch.fm_ratio);
                EXPECT_EQ(after.patch.fm_index, before.patch.fm_index);
            }
            // A small amount moves less than a large one.
            const Sound nudged = mutate_sound(before, 0.05, seed);
            EXPECT_LE(std::fabs(nudged.patch.base_freq / before.patch.base_freq - 1.0), 0.015 + 1e-9);
        }
    }
}

// --hardware on mutate: the sound is made for the console before it moves, the stages the console
// lacks set back so that check has nothing to note of them; a chip without a model stays as it is.
TEST(MutateSound, MakesASoundForTheHardwareWhereAsked) {
    for (const ChipType chip : {ChipType::nes, ChipType::gameboy}) {
        for (std::uint64_t seed = 0; seed < random_cases(16, 8); ++seed) {
            const Sound voice = random_sound(static_cast<SfxPreset>(seed % 8), chip, seed);
            const Sound made = mutate_sound(voice, 0.5, seed, true);
            SCOPED_TRACE(write_sound(made));
            ASSERT_TRUE(check_sound(made).empty());
            EXPECT_TRUE(made.patch.hardware);
            EXPECT_TRUE(unheard_settings(mutate_sound(voice, 0.0, seed, true)).empty());  // before it moves
            EXPECT_NE(made.patch.base_freq, voice.patch.base_freq);
            // A hardware sound stays one without the flag, and the flag changes nothing more for it.
            EXPECT_TRUE(mutate_sound(made, 0.5, seed).patch.hardware);
            EXPECT_EQ(write_sound(mutate_sound(made, 0.5, seed, true)),
                      write_sound(mutate_sound(made, 0.5, seed)));
        }
    }
    const Sound mix = random_layered_sound(SfxPreset::explosion, ChipType::gameboy, 4, 3);
    for (const Layer& layer : mutate_sound(mix, 0.0, 4, true).layers) {
        EXPECT_TRUE(layer.sound.patch.hardware);
    }
    const Sound sid = make_sound(SfxPreset::coin, ChipType::sid);
    EXPECT_FALSE(mutate_sound(sid, 0.5, 1, true).patch.hardware);
}

float full_scale_share(const SampleBuffer& samples) {
    std::size_t full = 0;
    for (const float v : samples) {
        full += std::fabs(v) >= 1.0f;
    }
    return static_cast<float>(full) / static_cast<float>(samples.size());
}

// What random and mutate make is meant to sound finished: no DC (a pulse voice's offset is
// blocked), no clipping worth hearing, and an end in silence rather than a click.
TEST(Variations, HaveNoDcNoClippingAndEndInSilence) {
    for (std::size_t family = 0; family < preset_words.size(); ++family) {
        for (std::size_t chip = 0; chip < chip_words.size(); ++chip) {
            for (std::uint64_t seed = 0; seed < random_cases(6, 2); ++seed) {
                const Sound random =
                    random_sound(static_cast<SfxPreset>(family), static_cast<ChipType>(chip), seed);
                const Sound preset = make_sound(static_cast<SfxPreset>(family), static_cast<ChipType>(chip));
                for (const Sound& s :
                     {random, mutate_sound(random, 0.5, seed), mutate_sound(preset, 1.0, seed)}) {
                    SCOPED_TRACE(write_sound(s));
                    const SampleBuffer samples = render_sound(s, 44100);
                    double sum = 0.0;
                    for (const float v : samples) {
                        sum += static_cast<double>(v);
                    }
                    EXPECT_LT(std::fabs(sum / static_cast<double>(samples.size())), 0.02);
                    EXPECT_LE(full_scale_share(samples), 0.001f);
                    float tail = 0.0f;
                    for (std::size_t i = samples.size() - 44; i < samples.size(); ++i) {
                        tail = std::max(tail, std::fabs(samples[i]));
                    }
                    EXPECT_LT(tail, 0.01f);
                }
            }
        }
    }
}

// A feature's switch exactly at its threshold: the filter's cutoff at the bypass itself is off and
// stays off; one step below it is on and stays on, however far the mutation pushes.
TEST(MutateSound, LeavesTheFilterOffAtItsBypassThresholdAndOnJustBelowIt) {
    Sound off = make_sound(SfxPreset::explosion, ChipType::sid);
    off.patch.filter_cutoff = filter_bypass_cutoff;
    ASSERT_FALSE(filter_is_on(off.patch));
    Sound on = off;
    on.patch.filter_cutoff = std::nextafter(filter_bypass_cutoff, 0.0);
    ASSERT_TRUE(filter_is_on(on.patch));
    for (std::uint64_t seed = 0; seed < random_cases(200, 40); ++seed) {
        EXPECT_EQ(mutate_sound(off, 1.0, seed).patch.filter_cutoff, filter_bypass_cutoff) << seed;
        EXPECT_TRUE(filter_is_on(mutate_sound(on, 1.0, seed).patch)) << seed;
    }
    // Vibrato the same way: a depth of 0 stays 0, the smallest depth stays on.
    Sound still = make_sound(SfxPreset::coin, ChipType::nes);
    Sound wobbly = make_sound(SfxPreset::powerup, ChipType::nes);
    wobbly.patch.vibrato_depth = 0.1;
    for (std::uint64_t seed = 0; seed < random_cases(200, 40); ++seed) {
        EXPECT_EQ(mutate_sound(still, 1.0, seed).patch.vibrato_depth, 0.0) << seed;
        EXPECT_TRUE(vibrato_is_on(mutate_sound(wobbly, 1.0, seed).patch)) << seed;
    }
}

// FNV-1a over the files of seeds 0 to 99 of each family (seed s on chip s % 4), and over their
// mutations, against tests/reference/variation_hashes.txt, which the Node suite reads too. Every build,
// Windows and WebAssembly included, must give the same files, so a seed someone shares means one sound
// everywhere.
TEST(Variations, GiveTheRecordedFilesForTheFirstHundredSeeds) {
    std::uint64_t expected_random[8] = {};
    std::uint64_t expected_mutated[8] = {};
    for (std::size_t family = 0; family < 8; ++family) {
        const std::vector<std::uint64_t> recorded =
            testing_support::recorded_hashes(BLEEPFORGE_VARIATION_HASHES, preset_words[family]);
        ASSERT_EQ(recorded.size(), 2U) << preset_words[family];
        expected_random[family] = recorded[0];
        expected_mutated[family] = recorded[1];
    }
    auto fnv = [](std::uint64_t hash, const std::string& text) {
        for (const char c : text) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
        return hash;
    };
    for (std::size_t family = 0; family < 8; ++family) {
        std::uint64_t random_hash = 1469598103934665603ULL;
        std::uint64_t mutated_hash = 1469598103934665603ULL;
        for (std::uint64_t seed = 0; seed < 100; ++seed) {
            const Sound s =
                random_sound(static_cast<SfxPreset>(family), static_cast<ChipType>(seed % 4), seed);
            random_hash = fnv(random_hash, write_sound(s));
            mutated_hash = fnv(mutated_hash, write_sound(mutate_sound(s, 0.5, seed + 1000)));
        }
        EXPECT_EQ(random_hash, expected_random[family])
            << preset_words[family] << std::hex << " 0x" << random_hash;
        EXPECT_EQ(mutated_hash, expected_mutated[family])
            << preset_words[family] << std::hex << " 0x" << mutated_hash;
    }
    // Different seeds give different sounds.
    EXPECT_NE(write_sound(random_sound(SfxPreset::coin, ChipType::nes, 1)),
              write_sound(random_sound(SfxPreset::coin, ChipType::nes, 2)));
}

}  // namespace
}  // namespace bleepforge
