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
// The member is named with prefix before it, as "layers[2]." names a layer's.
[[nodiscard]] std::optional<std::string> range_problem(const SoundField& field, double value,
                                                       std::string_view prefix = {});

// Line and column (both 1-based) of a byte offset; columns count characters, so UTF-8
// continuation bytes (10xxxxxx) add nothing.
struct Position {
    std::size_t line;
    std::size_t column;
};
[[nodiscard]] Position position_of(std::string_view text, std::size_t offset);

// The user's text for a message: at most 60 bytes of it, then "..." and its length; quoted() puts it
// in double quotes.
[[nodiscard]] std::string excerpt(std::string_view text);
[[nodiscard]] std::string quoted(std::string_view text);

// Why the text cannot be a sound file before any parsing: it is not UTF-8 text (a NUL, another
// control character, a byte that is no UTF-8) or holds nothing but white space and comments.
[[nodiscard]] std::optional<SoundProblem> text_problem(std::string_view text);

// The parser's complaint at byte offset, said about the user's file: a trailing comma, single
// quotes, a missing comma, text after the object, a word that is no value, an early end.
[[nodiscard]] SoundProblem syntax_problem(std::string_view text, std::size_t offset,
                                          std::string_view parser_message);

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
