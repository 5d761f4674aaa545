#include "bleepforge/sound.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

#include "members.hpp"

namespace bleepforge {
namespace {

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
constexpr std::array<SoundField, 15> fields{{
    // name           member                    min       max      min_excl unit   title
    //     summary
    //     decimals move relative absolute when slider
    {"base_freq",     &SfxPatch::base_freq,     20.0,     20000.0, false, "Hz",   "Start frequency",
         "starting pitch",
         2, scale,  0.3, 0.0,  When::always,         Slider::logarithmic},
    {"freq_slide",    &SfxPatch::freq_slide,    -20000.0, 20000.0, false, "Hz/s", "Slide",
         "pitch change per second; negative falls, and the pitch stays within 20 to 20000 Hz",
         0, spread, 0.3, 200,  When::always,         Slider::signed_cubic},
    {"duty",          &SfxPatch::duty,          0.0,      1.0,     false, "",     "Duty",
         "share of each pulse cycle at the high level (nes, gameboy and the pulse half of sid)",
         3, spread, 0.0, 0.2,  When::always,         Slider::linear},
    {"attack",        &SfxPatch::attack,        0.0,      60.0,    false, "s",    "Attack",
         "rise from silence to full level",
         3, spread, 0.3, 0.01, When::always,         Slider::quartic},
    {"decay",         &SfxPatch::decay,         0.0,      60.0,    false, "s",    "Decay",
         "fall from full level to the sustain level",
         3, spread, 0.3, 0.01, When::always,         Slider::quartic},
    {"sustain_time",  &SfxPatch::sustain_time,  0.0,      60.0,    false, "s",    "Sustain",
         "time held at the sustain level",
         3, spread, 0.3, 0.01, When::always,         Slider::quartic},
    {"release",       &SfxPatch::release,       0.0,      60.0,    false, "s",    "Release",
         "fall from the sustain level to silence",
         3, spread, 0.3, 0.01, When::always,         Slider::quartic},
    {"sustain_level", &SfxPatch::sustain_level, 0.0,      1.0,     false, "",     "Sustain level",
         "level held during the sustain",
         2, spread, 0.0, 0.2,  When::always,         Slider::linear},
    {"filter_cutoff", &SfxPatch::filter_cutoff, 0.0,      1.0,     false, "",     "Low-pass cutoff",
         "cutoff of the resonant low-pass filter as a factor of the pitch; 0.98 and above switches it off",
         2, spread, 0.0, 0.2,  When::filter_switch,  Slider::linear},
    {"noise",         &SfxPatch::noise,         0.0,      1.0,     false, "",     "Noise",
         "above 0.25 noise is mixed into every sample, else only while the pitch is below 120 Hz; the "
         "filter's damping is 1 - noise",
         2, spread, 0.0, 0.2,  When::noise_on,       Slider::linear},
    {"fm_ratio",      &SfxPatch::fm_ratio,      0.0,      16.0,    false, "",     "FM ratio",
         "FM modulator frequency over the carrier's (ym2612 only)",
         2, spread, 0.3, 0.5,  When::fm_voice,       Slider::linear},
    {"fm_index",      &SfxPatch::fm_index,      0.0,      20.0,    false, "rad",  "FM depth",
         "FM modulation depth (ym2612 only)",
         2, spread, 0.3, 0.5,  When::fm_voice,       Slider::linear},
    {"vibrato_depth", &SfxPatch::vibrato_depth, 0.0,      1000.0,  false, "Hz",   "Vibrato depth",
         "vibrato's pitch excursion; 0 switches vibrato off",
         1, scale,  0.5, 0.0,  When::vibrato_switch, Slider::square},
    {"vibrato_rate",  &SfxPatch::vibrato_rate,  0.0,      100.0,   false, "Hz",   "Vibrato rate",
         "vibrato frequency",
         1, spread, 0.3, 1.0,  When::vibrato_on,     Slider::square},
    {"duration",      nullptr,                  0.0,      60.0,    true,  "s",    "Duration",
         "length of the rendered sound; 0.5 s when not given",
         2, none,   0.0, 0.0,  When::always,         Slider::quartic},
}};
// clang-format on

constexpr std::string_view reserved_words[] = {
    // C (C23 included)
    "auto",
    "break",
    "case",
    "char",
    "const",
    "continue",
    "default",
    "do",
    "double",
    "else",
    "enum",
    "extern",
    "float",
    "for",
    "goto",
    "if",
    "inline",
    "int",
    "long",
    "register",
    "restrict",
    "return",
    "short",
    "signed",
    "sizeof",
    "static",
    "struct",
    "switch",
    "typedef",
    "union",
    "unsigned",
    "void",
    "volatile",
    "while",
    "bool",
    "true",
    "false",
    "nullptr",
    "alignas",
    "alignof",
    "constexpr",
    "static_assert",
    "thread_local",
    "typeof",
    "typeof_unqual",
    "_Alignas",
    "_Alignof",
    "_Atomic",
    "_BitInt",
    "_Bool",
    "_Complex",
    "_Decimal128",
    "_Decimal32",
    "_Decimal64",
    "_Generic",
    "_Imaginary",
    "_Noreturn",
    "_Static_assert",
    "_Thread_local",
    // C++ beyond C
    "and",
    "and_eq",
    "asm",
    "bitand",
    "bitor",
    "catch",
    "char8_t",
    "char16_t",
    "char32_t",
    "class",
    "compl",
    "concept",
    "const_cast",
    "consteval",
    "constinit",
    "co_await",
    "co_return",
    "co_yield",
    "decltype",
    "delete",
    "dynamic_cast",
    "explicit",
    "export",
    "friend",
    "mutable",
    "namespace",
    "new",
    "noexcept",
    "not",
    "not_eq",
    "operator",
    "or",
    "or_eq",
    "private",
    "protected",
    "public",
    "reinterpret_cast",
    "requires",
    "static_cast",
    "template",
    "this",
    "throw",
    "try",
    "typeid",
    "typename",
    "using",
    "virtual",
    "wchar_t",
    "xor",
    "xor_eq",
};

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::span<const SoundField> sound_fields() {
    return fields;
}

std::vector<InactiveMember> inactive_members(const Sound& sound) {
    const SfxPatch& p = sound.patch;
    const Generator generator = generator_of(p);
    std::vector<InactiveMember> inactive;
    auto add = [&](std::string_view member, std::string reason) {
        inactive.push_back({member, std::move(reason)});
    };
    if (generator == Generator::silent) {
        for (const SoundField& field : fields) {
            add(field.name, "the chip is not one of the four, so nothing sounds");
        }
        return inactive;
    }
    if (!uses_duty(generator)) {
        add("duty",
            generator == Generator::fm
                ? "the FM voice has no pulse"
                : "the nes plays its stepped triangle, which has no pulse, while the slide falls faster "
                  "than 1000 Hz/s");
    }
    if (!uses_fm(generator)) {
        add("fm_ratio", "only the ym2612's FM voice reads it");
        add("fm_index", "only the ym2612's FM voice reads it");
    }
    if (!vibrato_is_on(p)) {
        add("vibrato_rate", "vibrato is off while its depth is 0");
    }
    return inactive;
}

Sound make_sound(SfxPreset preset, ChipType chip) {
    return {preset, make_patch(preset, chip), 0.5};
}

Sound default_sound(ChipType chip) {
    // make_patch gives a preset outside its table the defaults and concert pitch.
    return {std::nullopt, make_patch(static_cast<SfxPreset>(preset_words.size()), chip), 0.5};
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

std::vector<SoundProblem> check_sound(const Sound& sound) {
    std::vector<SoundProblem> problems;
    if (sound.preset && static_cast<std::size_t>(*sound.preset) >= preset_words.size()) {
        problems.push_back(
            {0, 0, "preset", "\"preset\" is not one of the eight presets", ProblemKind::range});
    }
    if (static_cast<std::size_t>(sound.patch.chip) >= chip_words.size()) {
        problems.push_back({0, 0, "chip", "\"chip\" is not one of the four chips", ProblemKind::range});
    }
    for (const SoundField& field : fields) {
        if (auto message = sound_members::range_problem(field, sound_members::value_of(sound, field))) {
            problems.push_back({0, 0, std::string(field.name), std::move(*message), ProblemKind::range});
        }
    }
    return problems;
}

SampleBuffer render_sound(const Sound& sound, std::int32_t rate_hz) {
    return render_sfx(sound.patch, sound.duration_s, rate_hz);
}

Voice start_sound(const Sound& sound, std::int32_t rate_hz) {
    return start_voice(sound.patch, sound.duration_s, rate_hz);
}

bool is_header_name(std::string_view name) {
    if (name.empty() || !(is_ascii_letter(name[0]) || name[0] == '_')) {
        return false;
    }
    const bool word_characters = std::all_of(name.begin(), name.end(), [](char c) {
        return is_ascii_letter(c) || (c >= '0' && c <= '9') || c == '_';
    });
    return word_characters &&
           std::find(std::begin(reserved_words), std::end(reserved_words), name) == std::end(reserved_words);
}

}  // namespace bleepforge
