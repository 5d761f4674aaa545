#include "bleepforge/sound.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "members.hpp"

namespace bleepforge {
namespace {

// Why a member cannot change the sound as it stands, row by row: each follows what the renderer
// reads (synth.hpp), and the property test in tests/ holds every row to the renders. Empty: it can.
constexpr std::string_view can_change{};

std::string_view no_pulse(const Sound& s) {
    switch (generator_of(s.patch)) {
    case Generator::fm:
        return "the FM voice has no pulse";
    case Generator::stepped_triangle:
        return "the nes plays its stepped triangle, which has no pulse, while the slide falls faster than "
               "1000 Hz/s";
    default:
        return can_change;
    }
}
std::string_view modulator_silent(const Sound& s) {
    if (!uses_fm(generator_of(s.patch))) {
        return "only the ym2612's FM voice reads it";
    }
    return s.patch.fm_index == 0.0 ? "the FM depth is 0, so the modulator adds nothing" : can_change;
}
std::string_view modulator_still(const Sound& s) {
    if (!uses_fm(generator_of(s.patch))) {
        return "only the ym2612's FM voice reads it";
    }
    return s.patch.fm_ratio == 0.0 ? "the FM ratio is 0, so the modulator never moves" : can_change;
}
std::string_view vibrato_off(const Sound& s) {
    return vibrato_is_on(s.patch) ? can_change : "vibrato is off while its depth is 0";
}
std::string_view vibrato_still(const Sound& s) {
    return s.patch.vibrato_rate == 0.0 ? "the vibrato's rate is 0, so it never swings" : can_change;
}
std::string_view tremolo_off(const Sound& s) {
    return tremolo_is_on(s.patch) ? can_change : "the tremolo is off while its depth is 0";
}
std::string_view tremolo_still(const Sound& s) {
    return s.patch.tremolo_rate == 0.0 ? "the tremolo's rate is 0, so it never swings" : can_change;
}
std::string_view jump1_off(const Sound& s) {
    return s.patch.jump1_semitones == 0.0 ? "jump 1 is off while its semitones are 0" : can_change;
}
std::string_view jump2_off(const Sound& s) {
    return s.patch.jump2_semitones == 0.0 ? "jump 2 is off while its semitones are 0" : can_change;
}
// A jump at time_s never comes: after the sound ends, or after each repeat has started the pitch again
// (a period lasts less than 1 / repeat_rate).
std::string_view jump_unreached(const Sound& s, double time_s) {
    if (time_s >= s.duration_s) {
        return "its time is after the sound ends";
    }
    if (repeat_is_on(s.patch) && time_s * s.patch.repeat_rate >= 1.0) {
        return "its time is after each repeat starts the pitch again";
    }
    return can_change;
}
std::string_view jump1_unreached(const Sound& s) {
    return jump_unreached(s, s.patch.jump1_time);
}
std::string_view jump2_unreached(const Sound& s) {
    return jump_unreached(s, s.patch.jump2_time);
}
// The repeat starts again the pitch, the slide's acceleration, the jumps and the duty sweep.
std::string_view nothing_to_repeat(const Sound& s) {
    const SfxPatch& p = s.patch;
    const bool pitch_moves = p.freq_slide != 0.0 || p.freq_slide_accel != 0.0 ||
                             (p.jump1_semitones != 0.0 && jump1_unreached(s).empty()) ||
                             (p.jump2_semitones != 0.0 && jump2_unreached(s).empty());
    const bool duty_moves = p.duty_sweep != 0.0 && no_pulse(s).empty();
    return pitch_moves || duty_moves ? can_change
                                     : "there is nothing to start again: no slide, jump or duty sweep";
}
// The stages a console's sound unit does not have: on a hardware sound they play no part.
std::string_view no_lowpass(const Sound& s) {
    return s.patch.hardware ? "the console's sound unit has no low-pass" : can_change;
}
std::string_view no_highpass(const Sound& s) {
    return s.patch.hardware ? "the console's sound unit has no high-pass" : can_change;
}
std::string_view no_phaser(const Sound& s) {
    return s.patch.hardware ? "the console's sound unit has no phaser" : can_change;
}
std::string_view no_hold(const Sound& s) {
    return s.patch.hardware ? "the console's sound unit has no sample-and-hold" : can_change;
}
std::string_view no_crush(const Sound& s) {
    return s.patch.hardware ? "the console's sound unit has no bit crush" : can_change;
}

// The envelope's segments begin at running sums of their lengths; one that begins at or after the
// duration is never heard.
std::string_view decay_unreached(const Sound& s) {
    return s.patch.attack >= s.duration_s ? "the sound ends before its decay" : can_change;
}
// On the hardware the level is a 4-bit volume, round(15 x level x gain): a sustain below half a step
// is silent there, and the release that falls from it too (the tremolo only lowers it).
bool sustain_silent_on_hardware(const SfxPatch& p) {
    const auto held = static_cast<double>(static_cast<float>(p.sustain_level));  // as the envelope holds it
    return p.hardware && 15.0 * (held * p.gain) + 0.5 < 1.0;
}
std::string_view sustain_unheard(const Sound& s) {
    const SfxPatch& p = s.patch;
    if (p.attack + p.decay >= s.duration_s) {
        return "the sound ends before its sustain";
    }
    if (p.sustain_level == 0.0) {
        return "the sustain level is 0, so the sustain and release are silent";
    }
    return sustain_silent_on_hardware(p) ? "the sustain level rounds to the console's volume 0, so the "
                                           "sustain and release are silent"
                                         : can_change;
}
std::string_view release_unheard(const Sound& s) {
    const SfxPatch& p = s.patch;
    if (p.attack + p.decay + p.sustain_time >= s.duration_s) {
        return "the sound ends before its release";
    }
    if (p.sustain_level == 0.0) {
        return "the sustain level is 0, so the release is silent";
    }
    return sustain_silent_on_hardware(p)
               ? "the sustain level rounds to the console's volume 0, so the release "
                 "is silent"
               : can_change;
}
std::string_view level_unread(const Sound& s) {
    const SfxPatch& p = s.patch;
    if (p.decay == 0.0 && p.sustain_time == 0.0 && p.release == 0.0) {
        return "there is no decay, sustain or release to hold a level";
    }
    return decay_unreached(s);
}
std::string_view punch_unheard(const Sound& s) {
    return s.patch.attack == 0.0 && s.patch.decay == 0.0 ? "there is no attack or decay for it to shape"
                                                         : can_change;
}
std::string_view noise_everywhere(const Sound& s) {
    return noise_on_every_sample(s.patch) ? "above a noise amount of 0.25 noise is mixed into every sample"
                                          : can_change;
}

// The documented ranges. Pitches cover the renderer's own clamp, times and the duration a minute,
// levels and fractions 0 to 1; the rest are generous bounds on what still sounds like something.
// The variations keep pitch to the hundredth of a hertz, slides to the hertz, times to the
// millisecond, so a varied file reads like a hand-written one.
constexpr Move none = Move::none;
constexpr Move scale = Move::scale;
constexpr Move spread = Move::spread;
using When = MoveWhen;
using Slider = SliderScale;
// clang-format off
constexpr std::array<SoundField, 34> fields{{
    // name, member, min, max, min_exclusive, unit, title;
    //     summary;
    //     decimals, move, relative, absolute, when, slider, section, version, neutral, integer, zero_is_off,
    //     inactive
    {"base_freq", &SfxPatch::base_freq, 20.0, 20000.0, false, "Hz", "Start frequency",
     "starting pitch",
     2, scale, 0.3, 0.0, When::always, Slider::logarithmic, Section::pitch, 1, 0.0, false, false, nullptr},
    {"freq_slide", &SfxPatch::freq_slide, -20000.0, 20000.0, false, "Hz/s", "Slide",
     "pitch change per second; negative falls, and the pitch stays within 20 to 20000 Hz",
     0, spread, 0.3, 200, When::always, Slider::signed_cubic, Section::pitch, 1, 0.0, false, false, nullptr},
    {"freq_slide_accel", &SfxPatch::freq_slide_accel, -100000.0, 100000.0, false, "Hz/s\xC2\xB2", "Slide acceleration",
     "change of the slide per second, so a fall can steepen or ease",
     0, spread, 0.3, 500, When::in_use, Slider::signed_cubic, Section::pitch, 2, 0.0, false, false, nullptr},
    {"jump1_semitones", &SfxPatch::jump1_semitones, -24.0, 24.0, false, "", "Jump 1",
     "semitones the pitch jumps by at jump 1's time; 0 is no jump",
     0, spread, 0.0, 2, When::nonzero_switch, Slider::linear, Section::pitch, 2, 0.0, true, false, jump1_unreached},
    {"jump1_time", &SfxPatch::jump1_time, 0.0, 60.0, false, "s", "Jump 1 time",
     "when jump 1 happens, from the start or from each repeat",
     3, spread, 0.3, 0.01, When::always, Slider::quartic, Section::pitch, 2, 0.0, false, false, jump1_off},
    {"jump2_semitones", &SfxPatch::jump2_semitones, -24.0, 24.0, false, "", "Jump 2",
     "semitones of a second jump, after the first; 0 is no jump",
     0, spread, 0.0, 2, When::nonzero_switch, Slider::linear, Section::pitch, 2, 0.0, true, false, jump2_unreached},
    {"jump2_time", &SfxPatch::jump2_time, 0.0, 60.0, false, "s", "Jump 2 time",
     "when jump 2 happens, from the start or from each repeat",
     3, spread, 0.3, 0.01, When::always, Slider::quartic, Section::pitch, 2, 0.0, false, false, jump2_off},
    {"repeat_rate", &SfxPatch::repeat_rate, 0.0, 100.0, false, "Hz", "Repeat",
     "how often a second the pitch, slide, jumps and duty sweep start again (not the envelope); 0 is "
     "off",
     2, spread, 0.3, 1.0, When::nonzero_switch, Slider::square, Section::pitch, 2, 0.0, false, false, nothing_to_repeat},
    {"vibrato_depth", &SfxPatch::vibrato_depth, 0.0, 1000.0, false, "Hz", "Vibrato depth",
     "vibrato's pitch excursion; 0 switches vibrato off",
     1, scale, 0.5, 0.0, When::nonzero_switch, Slider::square, Section::pitch, 1, 0.0, false, false, vibrato_still},
    {"vibrato_rate", &SfxPatch::vibrato_rate, 0.0, 100.0, false, "Hz", "Vibrato rate",
     "vibrato frequency",
     1, spread, 0.3, 1.0, When::always, Slider::square, Section::pitch, 1, 0.0, false, false, vibrato_off},
    {"attack", &SfxPatch::attack, 0.0, 60.0, false, "s", "Attack",
     "rise from silence to full level",
     3, spread, 0.3, 0.01, When::always, Slider::quartic, Section::envelope, 1, 0.0, false, false, nullptr},
    {"decay", &SfxPatch::decay, 0.0, 60.0, false, "s", "Decay",
     "fall from full level to the sustain level",
     3, spread, 0.3, 0.01, When::always, Slider::quartic, Section::envelope, 1, 0.0, false, false, decay_unreached},
    {"sustain_time", &SfxPatch::sustain_time, 0.0, 60.0, false, "s", "Sustain",
     "time held at the sustain level",
     3, spread, 0.3, 0.01, When::always, Slider::quartic, Section::envelope, 1, 0.0, false, false, sustain_unheard},
    {"release", &SfxPatch::release, 0.0, 60.0, false, "s", "Release",
     "fall from the sustain level to silence",
     3, spread, 0.3, 0.01, When::always, Slider::quartic, Section::envelope, 1, 0.0, false, false, release_unheard},
    {"sustain_level", &SfxPatch::sustain_level, 0.0, 1.0, false, "", "Sustain level",
     "level held during the sustain",
     2, spread, 0.0, 0.2, When::always, Slider::linear, Section::envelope, 1, 0.0, false, false, level_unread},
    {"punch", &SfxPatch::punch, 0.0, 1.0, false, "", "Punch",
     "how much harder the attack hits: it rises to 1 + 2 punch, falling back to 1 over the decay",
     2, spread, 0.0, 0.2, When::in_use, Slider::linear, Section::envelope, 2, 0.0, false, false, punch_unheard},
    {"duration", nullptr, 0.001, 60.0, false, "s", "Duration",
     "length of the rendered sound, at least a millisecond, so every rate renders samples; 0.5 s when not given",
     2, none, 0.0, 0.0, When::always, Slider::quartic, Section::envelope, 1, 0.0, false, false, nullptr},
    {"duty", &SfxPatch::duty, 0.0, 1.0, false, "", "Duty",
     "share of each pulse cycle at the high level (nes, gameboy and the pulse half of sid)",
     3, spread, 0.0, 0.2, When::always, Slider::linear, Section::tone, 1, 0.0, false, false, no_pulse},
    {"duty_sweep", &SfxPatch::duty_sweep, -10.0, 10.0, false, "1/s", "Duty sweep",
     "change of the duty per second, held in 0 to 1 (pulse voices)",
     2, spread, 0.3, 0.3, When::in_use, Slider::signed_cubic, Section::tone, 2, 0.0, false, false, no_pulse},
    {"noise", &SfxPatch::noise, 0.0, 1.0, false, "", "Noise amount",
     "above 0.25 noise is mixed into every sample; at 0.25 or less (0 too) only while the pitch is below "
     "noise_below_hz; the filter's damping is 1 - noise",
     2, spread, 0.0, 0.2, When::in_use, Slider::linear, Section::tone, 1, 0.0, false, false, nullptr},
    {"noise_below_hz", &SfxPatch::noise_below_hz, 0.0, 20000.0, false, "Hz", "Noise below",
     "at a noise amount up to 0.25, noise is mixed while the pitch is below this; 0 never",
     0, scale, 0.3, 0.0, When::always, Slider::quartic, Section::tone, 3, 120.0, false, false, noise_everywhere},
    {"fm_ratio", &SfxPatch::fm_ratio, 0.0, 16.0, false, "", "FM ratio",
     "FM modulator frequency over the carrier's (ym2612 only)",
     2, spread, 0.3, 0.5, When::always, Slider::linear, Section::tone, 1, 0.0, false, false, modulator_silent},
    {"fm_index", &SfxPatch::fm_index, 0.0, 20.0, false, "rad", "FM depth",
     "FM modulation depth (ym2612 only)",
     2, spread, 0.3, 0.5, When::always, Slider::linear, Section::tone, 1, 0.0, false, false, modulator_still},
    {"filter_cutoff", &SfxPatch::filter_cutoff, 0.0, 1.0, false, "", "Low-pass cutoff",
     "cutoff of the resonant low-pass filter as a factor of the pitch; 0.98 and above switches it off",
     2, spread, 0.0, 0.2, When::filter_switch, Slider::linear, Section::filters, 1, 0.0, false, false, no_lowpass},
    {"filter_sweep", &SfxPatch::filter_sweep, -10.0, 10.0, false, "1/s", "Low-pass sweep",
     "change of the low-pass cutoff per second, held in 0 to 1; any sweep runs the filter",
     2, spread, 0.3, 0.2, When::in_use, Slider::signed_cubic, Section::filters, 2, 0.0, false, false, no_lowpass},
    {"highpass_cutoff", &SfxPatch::highpass_cutoff, 0.0, 20000.0, false, "Hz", "High-pass cutoff",
     "a 12 dB-an-octave high-pass after the low-pass; 0 with no sweep is off",
     0, scale, 0.3, 0.0, When::nonzero_switch, Slider::quartic, Section::filters, 2, 0.0, false, false, no_highpass},
    {"highpass_sweep", &SfxPatch::highpass_sweep, -20000.0, 20000.0, false, "Hz/s", "High-pass sweep",
     "change of the high-pass cutoff per second, held in 0 to 20000 Hz",
     0, spread, 0.3, 100, When::in_use, Slider::signed_cubic, Section::filters, 2, 0.0, false, false, no_highpass},
    {"tremolo_depth", &SfxPatch::tremolo_depth, 0.0, 1.0, false, "", "Tremolo depth",
     "how far the level swings, from 1 down to 1 - depth; 0 is off",
     2, spread, 0.0, 0.2, When::nonzero_switch, Slider::linear, Section::effects, 2, 0.0, false, false, tremolo_still},
    {"tremolo_rate", &SfxPatch::tremolo_rate, 0.0, 100.0, false, "Hz", "Tremolo rate",
     "the tremolo's frequency",
     1, spread, 0.3, 1.0, When::always, Slider::square, Section::effects, 2, 6.0, false, false, tremolo_off},
    {"phaser_offset", &SfxPatch::phaser_offset, 0.0, 0.02, false, "s", "Phaser delay",
     "the signal is added to itself delayed by this much, half and half; 0 with no sweep is off",
     4, spread, 0.3, 0.001, When::in_use, Slider::linear, Section::effects, 2, 0.0, false, false, no_phaser},
    {"phaser_sweep", &SfxPatch::phaser_sweep, -0.02, 0.02, false, "s/s", "Phaser sweep",
     "change of the phaser's delay per second, held in 0 to 0.02 s",
     4, spread, 0.3, 0.002, When::in_use, Slider::signed_cubic, Section::effects, 2, 0.0, false, false, no_phaser},
    {"downsample_rate", &SfxPatch::downsample_rate, 100.0, 192000.0, false, "Hz", "Sample-and-hold",
     "each sample is held for 1/rate s, a lower rate's grit; 0 is off",
     0, scale, 0.3, 0.0, When::nonzero_switch, Slider::logarithmic, Section::effects, 2, 0.0, false, true, no_hold},
    {"bitcrush_bits", &SfxPatch::bitcrush_bits, 1.0, 16.0, false, "", "Bit crush",
     "the signal takes at most 2^bits levels; 16 is off",
     0, spread, 0.0, 2, When::crush_switch, Slider::linear, Section::effects, 2, 16.0, true, false, no_crush},
    {"gain", &SfxPatch::gain, 0.0, 4.0, false, "", "Gain",
     "times the final signal, before its clip to -1 ... 1",
     2, none, 0.0, 0.0, When::always, Slider::linear, Section::effects, 2, 1.0, false, false, nullptr},
}};
// clang-format on

}  // namespace

// A layer's own members, beside a sound's: rows of the same kind, in the order a layer lists them.
// clang-format off
constexpr std::array<SoundField, 2> layer_rows{{
    {"start", nullptr, 0.0, 60.0, false, "s", "Start",
     "when the layer begins in the mix",
     3, none, 0.0, 0.0, When::always, Slider::quartic, Section::envelope, 2, 0.0, false, false, nullptr},
    {"mix_gain", nullptr, 0.0, 2.0, false, "", "Mix gain",
     "the layer's share of the mix, after its own gain and clip",
     2, none, 0.0, 0.0, When::always, Slider::linear, Section::effects, 2, 1.0, false, false, nullptr},
}};
// clang-format on

std::span<const SoundField> sound_fields() {
    return fields;
}

std::span<const SoundField> layer_fields() {
    return layer_rows;
}

std::string_view inactive_reason(const SoundField& field, const Sound& sound) {
    if (generator_of(sound.patch) == Generator::silent) {
        return "the chip is not one of the four, so nothing sounds";
    }
    return field.inactive != nullptr ? field.inactive(sound) : can_change;
}

std::vector<InactiveMember> inactive_members(const Sound& sound) {
    std::vector<InactiveMember> inactive;
    if (!sound.layers.empty()) {
        for (std::size_t i = 0; i < sound.layers.size(); ++i) {
            const std::string prefix = "layers[" + std::to_string(i) + "].";
            for (InactiveMember& m : inactive_members(sound.layers[i].sound)) {
                inactive.push_back({prefix + m.member, std::move(m.reason)});
            }
        }
        return inactive;
    }
    for (const SoundField& field : fields) {
        const std::string_view reason = inactive_reason(field, sound);
        if (!reason.empty()) {
            inactive.push_back({std::string(field.name), std::string(reason)});
        }
    }
    return inactive;
}

std::vector<InactiveMember> unheard_settings(const Sound& sound) {
    std::vector<InactiveMember> unheard;
    if (!sound.layers.empty()) {
        for (std::size_t i = 0; i < sound.layers.size(); ++i) {
            const std::string prefix = "layers[" + std::to_string(i) + "].";
            for (InactiveMember& m : unheard_settings(sound.layers[i].sound)) {
                unheard.push_back({prefix + m.member, std::move(m.reason)});
            }
        }
        return unheard;
    }
    const Sound start =
        sound.preset ? make_sound(*sound.preset, sound.patch.chip) : default_sound(sound.patch.chip);
    for (const SoundField& field : fields) {
        const std::string_view reason = inactive_reason(field, sound);
        if (!reason.empty() &&
            sound_members::value_of(sound, field) != sound_members::value_of(start, field)) {
            unheard.push_back({std::string(field.name), std::string(reason)});
        }
    }
    return unheard;
}

double sound_ending_s(const Sound& sound) {
    if (!sound.layers.empty()) {
        double last_s = 0.0;
        for (const Layer& layer : sound.layers) {
            last_s = std::max(last_s, layer.start_s + sound_ending_s(layer.sound));
        }
        return last_s;
    }
    const SfxPatch& p = sound.patch;
    // At a sustain level of 0 the sound has ended with its decay: its sustain and release are silent.
    const double heard_s =
        p.sustain_level > 0.0 ? p.attack + p.decay + p.sustain_time + p.release : p.attack + p.decay;
    double length_s = heard_s + 0.02;  // and the high-pass's settling
    if (phaser_is_on(p)) {
        length_s += phaser_max_s;
    }
    if (downsample_is_on(p)) {
        length_s += 1.0 / p.downsample_rate;
    }
    return length_s;
}

double fitting_duration_s(const Sound& sound) {
    const double length_s = sound_ending_s(sound);
    double twentieths = std::ceil(length_s * 20.0);
    if (twentieths / 20.0 < length_s) {
        twentieths += 1.0;  // the product rounded down onto a whole number
    }
    return std::clamp(twentieths / 20.0, 0.1, 60.0);
}

namespace {

// The shortest text of a number of seconds or a level, to three decimals: 1.075, 0.5, 0.034.
std::string short_number(double value) {
    return sound_members::format_number(std::round(value * 1000.0) / 1000.0 + 0.0);
}

// A cut-short sound's own words: the first layer cut short, or the sound itself.
std::optional<std::string> click_warning(const Sound& sound) {
    for (const Layer& layer : sound.layers) {
        if (auto click = click_warning(layer.sound)) {
            return click;
        }
    }
    const double ends_s = sound_ending_s(sound);
    if (!sound.layers.empty() || !(sound.duration_s < ends_s)) {
        return std::nullopt;
    }
    return "the sound stops at " + short_number(sound.duration_s) + " s, before it has ended (at " +
           short_number(ends_s) + " s), so it ends in a click";
}

}  // namespace

std::vector<std::string> sound_warnings(const Sound& sound, std::span<const float> samples) {
    std::vector<std::string> warnings;
    if (auto click = click_warning(sound)) {
        warnings.push_back(std::move(*click));
    }
    double sum = 0.0;
    std::size_t full_scale = 0;
    bool silent = true;
    for (const float x : samples) {
        sum += static_cast<double>(x);
        full_scale += x <= -1.0f || x >= 1.0f ? 1 : 0;
        silent = silent && x == 0.0f;
    }
    const double mean = samples.empty() ? 0.0 : sum / static_cast<double>(samples.size());
    if (std::fabs(mean) > dc_warning_above) {
        warnings.push_back("a DC offset of " + short_number(mean) +
                           " (the samples' mean), which a high-pass near 20 Hz takes away");
    }
    if (full_scale > 0) {
        warnings.push_back(std::to_string(full_scale) + (full_scale == 1 ? " sample is" : " samples are") +
                           " at full scale, flattened by the clip: " +
                           (sound.layers.empty() ? "lower the gain" : "lower the layers' gain or mix_gain"));
    }
    if (silent) {
        warnings.push_back("the sound is silent: every sample is 0");
    }
    return warnings;
}

Sound make_sound(SfxPreset preset, ChipType chip) {
    return {preset, make_patch(preset, chip), 0.5, {}};
}

Sound default_sound(ChipType chip) {
    // make_patch gives a preset outside its table the defaults and concert pitch.
    return {std::nullopt, make_patch(static_cast<SfxPreset>(preset_words.size()), chip), 0.5, {}};
}

std::string describe(const SoundProblem& problem, std::string_view file_name) {
    std::string text(file_name);
    if (problem.line > 0) {
        text += ':' + std::to_string(problem.line) + ':' + std::to_string(problem.column);
    }
    text += ": ";
    text += problem.message;
    return text;
}

namespace {

// The problems of one sound whose members are named after prefix ("layers[2].").
void check_into(const Sound& sound, const std::string& prefix, bool in_layer,
                std::vector<SoundProblem>& problems) {
    auto add = [&](const std::string& member, std::string message, ProblemKind kind) {
        problems.push_back({0, 0, prefix + member, std::move(message), kind});
    };
    if (!sound.layers.empty()) {
        if (in_layer) {
            add("layers", "\"" + prefix + "layers\": a layer holds no layers of its own",
                ProblemKind::member);
            return;
        }
        if (sound.layers.size() > max_layers) {
            add("layers",
                "\"layers\" holds " + std::to_string(sound.layers.size()) +
                    " sounds; a layered sound holds 1 to " + std::to_string(max_layers),
                ProblemKind::range);
        }
        for (std::size_t i = 0; i < sound.layers.size(); ++i) {
            const Layer& layer = sound.layers[i];
            const std::string layer_prefix = prefix + "layers[" + std::to_string(i) + "].";
            check_into(layer.sound, layer_prefix, true, problems);
            const double values[2] = {layer.start_s, layer.mix_gain};
            for (std::size_t k = 0; k < layer_rows.size(); ++k) {
                if (auto message = sound_members::range_problem(layer_rows[k], values[k], layer_prefix)) {
                    add(std::string(layer_prefix.substr(prefix.size())) + std::string(layer_rows[k].name),
                        std::move(*message), ProblemKind::range);
                }
            }
        }
        return;
    }
    if (sound.preset && static_cast<std::size_t>(*sound.preset) >= preset_words.size()) {
        add("preset", "\"" + prefix + "preset\" is not one of the eight presets", ProblemKind::range);
    }
    if (static_cast<std::size_t>(sound.patch.chip) >= chip_words.size()) {
        add("chip", "\"" + prefix + "chip\" is not one of the four chips", ProblemKind::range);
    } else if (sound.patch.hardware && !has_hardware_model(sound.patch.chip)) {
        add("hardware",
            "\"" + prefix + "hardware\" is true, but the " +
                std::string(chip_words[static_cast<std::size_t>(sound.patch.chip)]) +
                " has no hardware model (the nes and the gameboy have one)",
            ProblemKind::range);
    }
    for (const SoundField& field : fields) {
        if (auto message =
                sound_members::range_problem(field, sound_members::value_of(sound, field), prefix)) {
            add(std::string(field.name), std::move(*message), ProblemKind::range);
        }
    }
}

}  // namespace

std::vector<SoundProblem> check_sound(const Sound& sound) {
    std::vector<SoundProblem> problems;
    check_into(sound, "", false, problems);
    return problems;
}

SampleBuffer render_sound(const Sound& sound, std::int32_t rate_hz) {
    if (sound.layers.empty()) {
        return render_sfx(sound.patch, sound.duration_s, rate_hz);
    }
    Voice mix = start_sound(sound, rate_hz);
    SampleBuffer out(samples_left(mix));
    (void)render_voice(mix, out);
    return out;
}

Voice start_sound(const Sound& sound, std::int32_t rate_hz) {
    if (sound.layers.empty()) {
        return start_voice(sound.patch, sound.duration_s, rate_hz);
    }
    std::vector<VoiceLayer> layers;
    for (const Layer& layer : sound.layers) {
        layers.push_back({layer.sound.patch, layer.sound.duration_s, layer.start_s, layer.mix_gain});
    }
    return start_mix(layers, rate_hz);
}

}  // namespace bleepforge
