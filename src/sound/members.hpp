#pragma once

// What the reader, the writer, the checks and the variations share about the file's members.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "bleepforge/sound.hpp"

namespace bleepforge::sound_members {

inline double value_of(const Sound& sound, const SoundField& field) {
    return field.member != nullptr ? sound.patch.*field.member : sound.duration_s;
}

inline void set_value(Sound& sound, const SoundField& field, double value) {
    (field.member != nullptr ? sound.patch.*field.member : sound.duration_s) = value;
}

// The row of a patch member, or of the duration for nullptr.
[[nodiscard]] const SoundField& field_of(double SfxPatch::*member);

// 10^decimals, exactly: what the variations multiply by before rounding to a whole number.
[[nodiscard]] double rounding_scale(const SoundField& field);

// Why value cannot stand in the field, or nothing when it can.
[[nodiscard]] std::optional<std::string> range_problem(const SoundField& field, double value);

// The shortest text that reads back to the same double, laid out as JavaScript's String(number)
// lays it out (fixed notation from 1e-7 up to 1e21), so every build writes the same characters.
// A negative zero is written as 0; an infinity or NaN as null, which no reader takes for a number.
[[nodiscard]] std::string format_number(double value);

// A JSON number's text to the nearest double; nothing when it overflows.
[[nodiscard]] std::optional<double> parse_number(std::string_view text);

// The candidate a mistyped word most likely meant: one that differs only in case, or at most
// two edits away (one for short words). Empty when none is that close.
[[nodiscard]] std::string_view closest_word(std::string_view word,
                                            std::span<const std::string_view> candidates);

}  // namespace bleepforge::sound_members
