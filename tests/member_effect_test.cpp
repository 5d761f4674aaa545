// The table's word on each member held to the renders: over random sounds of every family and chip,
// a member the table reports inactive changes no byte of the render at any of three values across its
// range, and one it reports active changes the render at one of them at least, but for the exceptions
// listed with their reasons. Where a member changed nothing otherwise, its row learnt why.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bleepforge/sound.hpp"
#include "test_bytes.hpp"
#include "test_scale.hpp"

namespace bleepforge {
namespace {

using testing_support::same_bits;

constexpr std::int32_t rate_hz = 22050;

// Three values across the member's range, inside it. The duration's stay within two seconds, which
// keeps the renders short; whole-number members take whole numbers.
std::vector<double> values_across(const SoundField& field) {
    const double high = field.member == nullptr ? 2.0 : field.max;
    std::vector<double> values;
    for (const double share : {0.1, 0.5, 0.9}) {
        double v = field.min + share * (high - field.min);
        if (field.integer) {
            v = static_cast<double>(static_cast<std::int64_t>(v));
        }
        values.push_back(v);
    }
    return values;
}

double& value_in(Sound& sound, const SoundField& field) {
    return field.member != nullptr ? sound.patch.*field.member : sound.duration_s;
}

// Where an active member may change nothing at the three values, and why the table still calls it active.
struct Exception {
    std::string_view member;
    bool (*applies)(const Sound& sound);
    std::string_view why;
};
// A crush of b bits rounds every level under 2^-b to 0: a sustain that quiet after the filters is silent.
bool quiet_under_crush(const Sound& s) {
    const double step = 1.0 / static_cast<double>(1U << static_cast<unsigned>(s.patch.bitcrush_bits));
    return s.patch.bitcrush_bits < 16.0 && s.patch.sustain_level * s.patch.gain < 2.0 * step;
}
// On the hardware the triangle has no volume: the level only switches it on and off, so what scales
// the level changes the sound only where it crosses that line.
bool hardware_triangle(const Sound& s) {
    return s.patch.hardware && generator_of(s.patch) == Generator::stepped_triangle;
}
// A hardware pitch beyond the channel's periods is held at its end, so moving it may write nothing new.
bool hardware_pitch_held(const Sound& s) {
    return s.patch.hardware &&
           (s.patch.base_freq < 60.0 || s.patch.base_freq > 12000.0 || s.patch.freq_slide < 0.0);
}
constexpr Exception exceptions[] = {
    {"gain", hardware_triangle, "the hardware triangle only switches on and off"},
    {"punch", hardware_triangle, "the hardware triangle only switches on and off"},
    {"sustain_level", hardware_triangle, "the hardware triangle only switches on and off"},
    {"tremolo_depth", hardware_triangle, "the hardware triangle only switches on and off"},
    {"sustain_time", hardware_triangle, "the hardware triangle only switches on and off"},
    {"release", hardware_triangle, "the hardware triangle only switches on and off"},
    {"repeat_rate", hardware_pitch_held,
     "a pitch held at the channel's last period restarts to the same one"},
    {"sustain_time", quiet_under_crush, "the crush may round the whole sustain and release to silence"},
    {"release", quiet_under_crush, "the crush may round the whole release to silence"},
};

bool excepted(const SoundField& field, const Sound& sound) {
    for (const Exception& e : exceptions) {
        if (e.member == field.name && e.applies(sound)) {
            return true;
        }
    }
    return false;
}

struct Tally {
    std::size_t inactive_checked = 0;
    std::size_t active_checked = 0;
};

// Each member of target (the sound, or one layer of it) moved to each value, the whole sound rendered.
void check_members(Sound& whole, Sound& target, const SampleBuffer& before, const std::string& where,
                   Tally& tally) {
    for (const SoundField& field : sound_fields()) {
        const std::string_view reason = inactive_reason(field, target);
        double& slot = value_in(target, field);
        const double kept = slot;
        bool changed = false;
        for (const double v : values_across(field)) {
            slot = v;
            if (!same_bits(render_sound(whole, rate_hz), before)) {
                changed = true;
                break;
            }
        }
        slot = kept;
        if (!reason.empty()) {
            ++tally.inactive_checked;
            EXPECT_FALSE(changed) << where << field.name << " is inactive (" << reason
                                  << ") but changes the render";
        } else if (!excepted(field, target)) {
            ++tally.active_checked;
            EXPECT_TRUE(changed) << where << field.name
                                 << " is active but none of three values changes the render";
        }
    }
}

// Unoptimised builds take the first 40, which still hold every family on every chip.
constexpr std::uint64_t sound_count = testing_support::random_cases(200, 40);

TEST(MemberEffects, AreWhatTheTableSaysOverTwoHundredRandomSounds) {
    Tally tally;
    for (std::uint64_t n = 0; n < sound_count; ++n) {
        const auto family = static_cast<SfxPreset>(n % 8);
        const auto chip = static_cast<ChipType>((n / 8) % 4);
        const bool layered = n % 10 == 9;
        const bool hardware = n % 5 == 2;  // on the nes and the gameboy in turn: the console's model renders it
        const ChipType console = (n / 5) % 2 == 0 ? ChipType::nes : ChipType::gameboy;
        Sound sound = layered    ? random_layered_sound(family, chip, n, 2)
                      : hardware ? random_sound(family, console, n, true)
                                 : random_sound(family, chip, n);
        const SampleBuffer before = render_sound(sound, rate_hz);
        const std::string name = std::string(preset_words[n % 8]) + "/" +
                                 (hardware ? std::string(chip_words[static_cast<std::size_t>(console)]) + " hardware"
                                           : std::string(chip_words[(n / 8) % 4])) +
                                 " seed " + std::to_string(n) + ": ";
        if (layered) {
            for (std::size_t i = 0; i < sound.layers.size(); ++i) {
                check_members(sound, sound.layers[i].sound, before,
                              name + "layers[" + std::to_string(i) + "].", tally);
            }
        } else {
            check_members(sound, sound, before, name, tally);
        }
    }
    EXPECT_GT(tally.inactive_checked, 5 * sound_count);
    EXPECT_GT(tally.active_checked, 20 * sound_count);
}

// The members the table once called active where they change no sample, and the cases the property
// finds beyond them, each on a sound built to show it.
TEST(MemberEffects, NameTheCasesThatChangeNothing) {
    struct Case {
        const char* what;
        SfxPreset preset;
        ChipType chip;
        void (*set)(Sound&);
        std::string_view member;
    };
    const Case cases[] = {
        {"duty sweep on FM", SfxPreset::coin, ChipType::ym2612, [](Sound&) {}, "duty_sweep"},
        {"duty sweep on the triangle", SfxPreset::laser, ChipType::nes,
         [](Sound& s) { s.patch.freq_slide = -2000.0; }, "duty_sweep"},
        {"FM ratio with no depth", SfxPreset::coin, ChipType::ym2612,
         [](Sound& s) { s.patch.fm_index = 0.0; }, "fm_ratio"},
        {"FM depth with no ratio", SfxPreset::coin, ChipType::ym2612,
         [](Sound& s) { s.patch.fm_ratio = 0.0; }, "fm_index"},
        {"punch with no attack or decay", SfxPreset::blip, ChipType::nes,
         [](Sound& s) {
             s.patch.attack = 0.0;
             s.patch.decay = 0.0;
         },
         "punch"},
        {"a noise pitch with noise on every sample", SfxPreset::explosion, ChipType::sid, [](Sound&) {},
         "noise_below_hz"},
        {"a sustain at level 0", SfxPreset::blip, ChipType::gameboy,
         [](Sound& s) { s.patch.sustain_time = 0.1; }, "sustain_time"},
        {"a release at level 0", SfxPreset::laser, ChipType::sid, [](Sound&) {}, "release"},
        {"a release after the end", SfxPreset::game_over, ChipType::nes, [](Sound&) {}, "release"},
        {"a repeat with nothing to restart", SfxPreset::blip, ChipType::nes,
         [](Sound& s) { s.patch.repeat_rate = 20.0; }, "repeat_rate"},
        {"vibrato at rate 0", SfxPreset::powerup, ChipType::nes, [](Sound& s) { s.patch.vibrato_rate = 0.0; },
         "vibrato_depth"},
        {"tremolo at rate 0", SfxPreset::coin, ChipType::nes,
         [](Sound& s) {
             s.patch.tremolo_depth = 0.5;
             s.patch.tremolo_rate = 0.0;
         },
         "tremolo_depth"},
        {"a jump after the end", SfxPreset::coin, ChipType::nes,
         [](Sound& s) {
             s.patch.jump1_semitones = 7.0;
             s.patch.jump1_time = 0.6;
         },
         "jump1_semitones"},
    };
    for (const Case& c : cases) {
        Sound sound = make_sound(c.preset, c.chip);
        c.set(sound);
        bool listed = false;
        for (const InactiveMember& m : inactive_members(sound)) {
            listed = listed || m.member == c.member;
        }
        EXPECT_TRUE(listed) << c.what;
        const SampleBuffer before = render_sound(sound, rate_hz);
        for (const SoundField& field : sound_fields()) {
            if (field.name == c.member) {
                for (const double v : values_across(field)) {
                    Sound moved = sound;
                    value_in(moved, field) = v;
                    EXPECT_TRUE(same_bits(render_sound(moved, rate_hz), before)) << c.what << " at " << v;
                }
            }
        }
    }
}

// The stage members' neutral values are the patch's own defaults, so a file that leaves a stage out
// and a sound built in code without it are the same sound.
TEST(MemberEffects, NeutralValuesAreThePatchDefaults) {
    const SfxPatch plain{};
    for (const SoundField& field : sound_fields()) {
        if (field.version > 1 && field.member != nullptr) {
            EXPECT_EQ(plain.*field.member, field.neutral) << field.name;
        }
    }
}

}  // namespace
}  // namespace bleepforge
