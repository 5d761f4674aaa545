#pragma once

// Sound files: a sound designed by hand or varied from a preset, kept as a small text file and
// rendered wherever it is needed, to the same bytes on every platform.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/catalogue.hpp"
#include "bleepforge/synth.hpp"

namespace bleepforge {

// The format version this build writes (the file's "bleepforge" member); it reads 1 to 3. Version 1
// holds the original members only, version 2 the stages and layers too, version 3 whether the sound
// is made for the hardware.
inline constexpr std::int64_t sound_format_version = 3;
// A sound file's text is at most this long; anything longer is refused unread.
inline constexpr std::size_t max_sound_file_size = 1 << 20;
// The sample rates a sound is rendered at by the tools, in Hz.
inline constexpr std::int32_t min_sound_rate_hz = 8000;
inline constexpr std::int32_t max_sound_rate_hz = 192000;
// The identifier in a header's symbols when none is given.
inline constexpr std::string_view default_header_name = "chiptune_sfx";

// A sound: the patch, the preset it starts from (if any) and its length.
struct Layer;

// A sound: the patch, the preset it starts from (if any) and its length; or, for a layered sound
// (format 2), the mix of 1 to max_layers layers, and then nothing of its own counts.
struct Sound {
    std::optional<SfxPreset> preset;  // only a name for the family once every field is written
    SfxPatch patch{};
    double duration_s = 0.5;
    std::vector<Layer> layers;
};

// One layer of a layered sound: a whole sound of its own (no layers), from start_s on, scaled by
// mix_gain in the mix (after its own gain and clip). The mix is start_mix's (synth.hpp).
struct Layer {
    Sound sound;
    double start_s = 0.0;
    double mix_gain = 1.0;
};
inline constexpr std::size_t max_layers = 8;

// How the variations move a member, with u drawn from [-amount, amount):
enum class Move : std::uint8_t {
    none,    // kept as it is
    scale,   // x * (1 + relative * u)
    spread,  // x + u * (relative * |x| + absolute)
};

// When mutate_sound may move a member that can change the sound: a feature the sound does not use
// stays off, and a member that switches its feature on keeps it on.
enum class MoveWhen : std::uint8_t {
    always,
    in_use,          // only while it is not its neutral value (a stage in use)
    nonzero_switch,  // a stage's own switch: only while it is not 0, and it stays so
    filter_switch,   // the low-pass's own cutoff: only while it is on, and it stays below the bypass
    crush_switch,    // the bit crush's own bits: only below 16, and they stay below
};

// Why a member cannot change the sound as it stands (on its chip, with its other members and its
// duration): the reason a designer's controls and check show, or empty when it can. Follows the
// renderer's own decisions.
using InactiveReason = std::string_view (*)(const Sound& sound);

// The groups a designer reads the members in, in this order.
enum class Section : std::uint8_t { pitch, envelope, tone, filters, effects };
// Each section's word, indexed by its value: what the studio and the package call it.
inline constexpr std::array<std::string_view, 5> section_words{"pitch", "envelope", "tone", "filters",
                                                               "effects"};
static_assert(section_words.size() == static_cast<std::size_t>(Section::effects) + 1 &&
              section_words.back() == "effects");

// How a slider spreads a member's range, for the places a value is picked by hand (the studio).
enum class SliderScale : std::uint8_t {
    linear,
    logarithmic,   // pitch: every octave the same width
    signed_cubic,  // a slide: fine near none in both directions
    square,        // a depth or rate: finer near zero
    quartic,       // a time: fine near zero, up to a minute
};
// Each scale's word, indexed by its value.
inline constexpr std::array<std::string_view, 5> slider_scale_words{"linear", "logarithmic", "signed_cubic",
                                                                    "square", "quartic"};
static_assert(slider_scale_words.size() == static_cast<std::size_t>(SliderScale::quartic) + 1 &&
              slider_scale_words.back() == "quartic");

// One member of the format: the row of the table that every reader, writer, check, variation,
// schema and control of the member follows. The range includes both ends except where
// min_exclusive says so.
struct SoundField {
    std::string_view name;     // the member's name in a file
    double SfxPatch::*member;  // nullptr for the duration, which is not part of the patch
    double min;
    double max;
    bool min_exclusive;
    std::string_view unit;     // "Hz", "Hz/s", "s", "rad" or "" for a plain number
    std::string_view title;    // a plain label, "Start frequency"
    std::string_view summary;  // one line on what it does
    int decimals;              // the variations round to this many decimal places
    Move move;
    double move_relative;
    double move_absolute;
    MoveWhen when;
    SliderScale slider;
    Section section;
    int version;              // the format that brought it: 1 the original members, 2 the stages
    double neutral;           // a stage's value that leaves the sound as without it (0 for the original members)
    bool integer;             // whole numbers only
    bool zero_is_off;         // 0 is allowed below min, and means off (downsample_rate)
    InactiveReason inactive;  // nullptr where the member always can change the sound
};

// Every member in the file's order, section by section: Pitch, Envelope (with the duration), Tone,
// Filters, Effects.
[[nodiscard]] std::span<const SoundField> sound_fields();

// The members a layer holds beyond a sound's: "start" (s, 0 to 60) and "mix_gain" (0 to 2).
[[nodiscard]] std::span<const SoundField> layer_fields();

// The member's range in words, "0 to 60 s" or "above 0 and at most 60 s".
[[nodiscard]] std::string range_text(const SoundField& field);

// The members that cannot change the sound as it stands, each with its row's reason, in the table's
// order; for a layered sound, every layer's, named as "layers[1].duty".
struct InactiveMember {
    std::string member;
    std::string reason;
};
[[nodiscard]] std::vector<InactiveMember> inactive_members(const Sound& sound);

// Why the member cannot change the sound as it stands (not a layered one), or empty when it can.
[[nodiscard]] std::string_view inactive_reason(const SoundField& field, const Sound& sound);

// The inactive members set away from where the sound starts (its preset on its chip, or the
// defaults): settings a designer made that the sound cannot play, which check names. A layered
// sound's are each layer's, named as "layers[1].duty".
[[nodiscard]] std::vector<InactiveMember> unheard_settings(const Sound& sound);

// When the sound has ended, in seconds: its envelope, the phaser's echo, the last value a
// sample-and-hold keeps and a little for the high-pass to settle. A duration shorter than this cuts
// the sound off, often with a click.
[[nodiscard]] double sound_ending_s(const Sound& sound);
// The shortest duration in twentieths of a second that lets the sound end, within 0.1 to 60 s: what
// random and mutate give, and what the studio offers.
[[nodiscard]] double fitting_duration_s(const Sound& sound);

// What a designer should hear about a rendered sound, though nothing is wrong with its file: each a
// sentence, in the words check and the studio both show.
//  - It ends in a click: the duration cuts the sound off before sound_ending_s.
//  - A DC offset: the samples' mean is beyond 0.02 either way.
//  - Samples at full scale: some reach -1 or 1, where the clip flattens them.
//  - It is silent: every sample is 0.
// For a layered sound the click is any layer's cut short.
inline constexpr double dc_warning_above = 0.02;
[[nodiscard]] std::vector<std::string> sound_warnings(const Sound& sound, std::span<const float> samples);

// The preset on the chip: make_patch's patch, half a second long.
[[nodiscard]] Sound make_sound(SfxPreset preset, ChipType chip);
// The start of a sound without a preset: the defaults with 440 Hz (and the ym2612 FM values).
[[nodiscard]] Sound default_sound(ChipType chip);

// What kind of thing is wrong, so a caller can tell a malformed sound from a value out of range.
enum class ProblemKind : std::uint8_t {
    syntax,  // the text is not one JSON object (or is too large to read)
    member,  // a member is unknown, given twice or missing
    type,    // a member holds the wrong type of value
    range,   // a value outside its range, a word that is not a preset or chip, another version
};
// Each kind's word, indexed by its value: what the package reports.
inline constexpr std::array<std::string_view, 4> problem_kind_words{"syntax", "member", "type", "range"};
static_assert(problem_kind_words.size() == static_cast<std::size_t>(ProblemKind::range) + 1 &&
              problem_kind_words.back() == "range");

// One thing wrong with a sound file or a sound.
struct SoundProblem {
    std::size_t line = 0;    // 1-based; 0 where no position applies (a missing member)
    std::size_t column = 0;  // 1-based, counted in characters
    std::string member;      // the member concerned; empty when it is the text as a whole
    std::string message;     // names the member itself, so it reads well alone
    ProblemKind kind = ProblemKind::syntax;
};

// "FILE:LINE:COLUMN: MESSAGE", or "FILE: MESSAGE" for a problem without a position.
[[nodiscard]] std::string describe(const SoundProblem& problem, std::string_view file_name);

struct SoundReading {
    std::optional<Sound> sound;          // set exactly when there is no problem
    std::vector<SoundProblem> problems;  // every problem found, in the order of the text
};

// Reads a sound file: JSON text with comments, one object. Strict: an unknown or repeated
// member, a wrong type, a number that is not finite or outside its range, a word that is not a
// preset or chip, a missing or other version and trailing text are all problems.
[[nodiscard]] SoundReading read_sound(std::string_view text);

// The problems of a sound built in code: what read_sound would refuse in its written file.
[[nodiscard]] std::vector<SoundProblem> check_sound(const Sound& sound);

// The sound file of a sound: every member, one a line, in the patch's order, each number in the
// shortest form that reads back to the same double. read_sound gives the same sound back.
[[nodiscard]] std::string write_sound(const Sound& sound);

// The comments a sound file's text starts with, before its object, as written (with a line end
// after the last): what a rewrite of the file, such as a mutation, keeps. Empty when there are none.
[[nodiscard]] std::string leading_comments(std::string_view text);

// The sound's samples at rate_hz: render_sfx of its patch for its duration, or the mix of its layers.
[[nodiscard]] SampleBuffer render_sound(const Sound& sound, std::int32_t rate_hz);

// The sound as a voice, to render in pieces: render_voice gives render_sound's samples.
[[nodiscard]] Voice start_sound(const Sound& sound, std::int32_t rate_hz);

// A new sound of a preset's family on a chip, the same for the same seed on every platform.
// Every field lies inside its range and the sound is audible from its start.
// Made for the hardware where asked and the chip has a model: the stages its sound unit lacks stay
// as the preset has them.
[[nodiscard]] Sound random_sound(SfxPreset family, ChipType chip, std::uint64_t seed, bool hardware = false);

// The sound moved a little, by amount between 0 (unchanged) and 1; the same for the same seed on
// every platform. Features the sound does not use (filter, noise, vibrato, FM on other chips)
// stay off, and every field stays inside its range. An amount outside [0, 1] is clamped to it.
// A layered sound is mutated layer by layer, its layers' number, starts and mix gains kept.
// With hardware the sound (each layer) is first made for the hardware where its chip has a model,
// so the stages its sound unit lacks stay as they are; a hardware sound stays one either way.
[[nodiscard]] Sound mutate_sound(const Sound& sound, double amount, std::uint64_t seed,
                                 bool hardware = false);

// A random layered sound of a family: count layers (1 to max_layers), the first a random sound of
// the family and the others its companions (an explosion's noise body under a falling hit, a
// powerup's chord), a little apart, each count-th of the mix, so the sum stays under full scale.
[[nodiscard]] Sound random_layered_sound(SfxPreset family, ChipType chip, std::uint64_t seed,
                                         std::size_t count, bool hardware = false);

// A bank: all of a game's sounds in one file (*.bleepbank), each entry an inline sound (layered or
// not) or the path of a sound file relative to the bank, in the file's order.
struct BankEntry {
    std::string name;  // a C identifier, unique in the bank
    Sound sound;
    std::string file;  // the referenced path as the bank gives it; empty for an inline sound
};
struct Bank {
    std::vector<BankEntry> entries;
};

// One problem of a bank: in the bank's own text (file empty) or in a file it references.
struct BankProblem {
    std::string file;   // the referenced path as the bank gives it; empty for the bank itself
    std::string entry;  // the entry concerned; empty for the bank as a whole
    SoundProblem problem;
};

struct BankReading {
    std::optional<Bank> bank;           // set exactly when there is no problem
    std::vector<BankProblem> problems;  // the bank's own, then each referenced file's
    std::vector<std::string> files;     // every file referenced, as the bank gives it
};

// What a bank's loader gives for a referenced path: the file's text, or why there is none.
struct LoadedText {
    bool ok = false;
    std::string text;
    std::string error;
};

// Reads a bank: {"bleepforge": 2, "sounds": {"zap": {...}, "coin": "sfx/coin.bleep"}}. Strict as a
// sound file; an entry's name is a C identifier that no other entry's header symbols take; an
// inline entry needs no "bleepforge" of its own. load reads each referenced file (the caller decides
// where a path leads: the library touches no file).
[[nodiscard]] BankReading read_bank(std::string_view text,
                                    const std::function<LoadedText(const std::string& path)>& load);

}  // namespace bleepforge
