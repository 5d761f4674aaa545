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
// clang-format off
constexpr std::array<SoundField, 15> fields{{
    {"base_freq",     &SfxPatch::base_freq,     20.0,     20000.0, false, "Hz",   "starting pitch"},
    {"freq_slide",    &SfxPatch::freq_slide,    -20000.0, 20000.0, false, "Hz/s", "pitch change per second; negative falls"},
    {"duty",          &SfxPatch::duty,          0.0,      1.0,     false, "",     "share of a pulse cycle at the high level"},
    {"attack",        &SfxPatch::attack,        0.0,      60.0,    false, "s",    "rise from silence to full level"},
    {"decay",         &SfxPatch::decay,         0.0,      60.0,    false, "s",    "fall from full level to the sustain level"},
    {"sustain_time",  &SfxPatch::sustain_time,  0.0,      60.0,    false, "s",    "time held at the sustain level"},
    {"release",       &SfxPatch::release,       0.0,      60.0,    false, "s",    "fall from the sustain level to silence"},
    {"sustain_level", &SfxPatch::sustain_level, 0.0,      1.0,     false, "",     "level held during the sustain"},
    {"filter_cutoff", &SfxPatch::filter_cutoff, 0.0,      1.0,     false, "",     "low-pass cutoff as a factor of the pitch; 0.98 and above is off"},
    {"noise",         &SfxPatch::noise,         0.0,      1.0,     false, "",     "above 0.25 noise on every sample, else only below 120 Hz; lowers the filter's damping"},
    {"fm_ratio",      &SfxPatch::fm_ratio,      0.0,      16.0,    false, "",     "FM modulator frequency over the carrier's (ym2612)"},
    {"fm_index",      &SfxPatch::fm_index,      0.0,      20.0,    false, "rad",  "FM modulation depth (ym2612)"},
    {"vibrato_depth", &SfxPatch::vibrato_depth, 0.0,      1000.0,  false, "Hz",   "vibrato's pitch excursion; 0 is off"},
    {"vibrato_rate",  &SfxPatch::vibrato_rate,  0.0,      100.0,   false, "Hz",   "vibrato frequency"},
    {"duration",      nullptr,                  0.0,      60.0,    true,  "s",    "length of the rendered sound"},
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
        problems.push_back({0, 0, "preset", "\"preset\" is not one of the eight presets"});
    }
    if (static_cast<std::size_t>(sound.patch.chip) >= chip_words.size()) {
        problems.push_back({0, 0, "chip", "\"chip\" is not one of the four chips"});
    }
    for (const SoundField& field : fields) {
        if (auto message = sound_members::range_problem(field, sound_members::value_of(sound, field))) {
            problems.push_back({0, 0, std::string(field.name), std::move(*message)});
        }
    }
    return problems;
}

SampleBuffer render_sound(const Sound& sound, std::int32_t rate_hz) {
    return render_sfx(sound.patch, sound.duration_s, rate_hz);
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
