#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bleepforge {

// Sound-effect presets; the values are fixed and part of the public interface.
enum class SfxPreset : std::int32_t {
    laser = 0,
    jump = 1,
    explosion = 2,
    coin = 3,
    powerup = 4,
    hit = 5,
    blip = 6,
    game_over = 7,
};

// Sound-chip voices; the values are fixed and part of the public interface.
enum class ChipType : std::int32_t {
    nes = 0,
    sid = 1,
    gameboy = 2,
    ym2612 = 3,
};

// Each preset's and each chip's own word, indexed by its value: "laser" ... "game_over" and
// "nes" ... "ym2612". These are the words the program lists and sound files use.
inline constexpr std::array<std::string_view, 8> preset_words{"laser",   "jump", "explosion", "coin",
                                                              "powerup", "hit",  "blip",      "game_over"};
inline constexpr std::array<std::string_view, 4> chip_words{"nes", "sid", "gameboy", "ym2612"};
// A value added to an enumeration needs its word: the lists end where the enumerations do.
static_assert(preset_words.size() == static_cast<std::size_t>(SfxPreset::game_over) + 1 &&
              preset_words.back() == "game_over");
static_assert(chip_words.size() == static_cast<std::size_t>(ChipType::ym2612) + 1 &&
              chip_words.back() == "ym2612");

// Everything the renderer needs for one preset voiced on one chip. A plain value: the chip and
// the fourteen values every preset sets, then the stages of sound-file format 2, each neutral (the
// sound as without the stage) unless set, their formulas in synth.hpp; and whether the sound is made
// for the hardware (format 3), whose reduction to frames is in synth.hpp too.
struct SfxPatch {
    ChipType chip;
    double base_freq;      // Hz, starting pitch
    double freq_slide;     // Hz per second; negative falls
    double duty;           // 0..1, share of a cycle at the pulse's high level
    double attack;         // s
    double decay;          // s
    double sustain_time;   // s
    double release;        // s
    double sustain_level;  // 0..1
    double filter_cutoff;  // factor of the pitch; 0.98 and above bypasses the filter
    double noise;          // 0..1; above 0.25 noise is mixed into every sample, else below noise_below_hz
    double fm_ratio;       // modulator over carrier frequency (ym2612)
    double fm_index;       // radians of peak carrier phase deviation (ym2612)
    double vibrato_depth;  // Hz; 0 or less switches vibrato off
    double vibrato_rate;   // Hz

    double freq_slide_accel = 0.0;  // Hz/s^2: the slide's own change per second
    double jump1_semitones = 0.0;   // whole semitones, -24 to 24: a pitch jump ...
    double jump1_time = 0.0;        // s: ... this long after the start (or each repeat)
    double jump2_semitones = 0.0;   // a second jump, after the first
    double jump2_time = 0.0;        // s
    double repeat_rate = 0.0;       // Hz: pitch, slide, jumps and duty sweep start again; 0 is off
    double duty_sweep = 0.0;        // per second, on the duty
    double punch = 0.0;             // 0..1: the sustain starts louder by 1 + 2 * punch
    double filter_sweep = 0.0;      // per second, on filter_cutoff
    double highpass_cutoff = 0.0;   // Hz; 0 (with no sweep) is off
    double highpass_sweep = 0.0;    // Hz/s
    double phaser_offset = 0.0;     // s: the delay of the signal added; 0 (with no sweep) is off
    double phaser_sweep = 0.0;      // s/s
    double tremolo_depth = 0.0;     // 0..1; 0 is off
    double tremolo_rate = 6.0;      // Hz
    double downsample_rate = 0.0;   // Hz of the sample-and-hold; 0 is off
    double bitcrush_bits = 16.0;    // 1 to 16 whole bits; 16 is off
    double gain = 1.0;              // before the final clip

    double noise_below_hz = 120.0;  // Hz: at noise up to 0.25, noise is mixed while the pitch is below this
    bool hardware = false;          // made for the console: reduced to frames and played by its sound unit
};

// The word with A-Z turned into a-z and every other byte kept: the same in every locale.
[[nodiscard]] std::string fold_ascii_case(std::string_view word);

// Case-insensitive substring matching of a user word; never fails.
// Unrecognised words give game_over.
[[nodiscard]] SfxPreset parse_preset(std::string_view word);
// Unrecognised words give nes.
[[nodiscard]] ChipType parse_chip(std::string_view word);

// Display titles; values outside the enumerations get "Custom Preset" / "Unknown Sound Chip".
[[nodiscard]] std::string preset_display_name(SfxPreset preset);
[[nodiscard]] std::string chip_display_name(ChipType chip);

// The parameter record of a preset on a chip. The chip is stored unchecked; a preset
// outside the enumeration gets the defaults with a 440 Hz pitch.
[[nodiscard]] SfxPatch make_patch(SfxPreset preset, ChipType chip);

}  // namespace bleepforge
