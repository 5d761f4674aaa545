#pragma once

// The files written from the library's tables and word lists: the sound file's JSON Schema, the
// tables of members in bleep.1 and the README, and the TypeScript declarations of the members and
// of the word unions in web/index.d.ts. A file other than the schema keeps its own text around
// marked regions, and only those are written. write_derived puts them into the source tree; a test
// fails while a committed copy is not what they are now.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/sound.hpp"

namespace bleepforge::derived {

// How a file writes a comment line: "<!-- " ... " -->" in Markdown, ".\" " in roff, "// " in
// TypeScript.
struct CommentStyle {
    std::string_view open;
    std::string_view close;
};

// The lines the library gives one region of a file, or the whole file when the name is empty.
struct Region {
    std::string_view name;
    std::string body;  // whole lines, each ending in '\n'
};

// The line that opens a region ("derived NAME: ..."), and the one that closes it ("end of derived
// NAME"), without indentation or line end.
[[nodiscard]] std::string opening_line(CommentStyle style, std::string_view name);
[[nodiscard]] std::string closing_line(CommentStyle style, std::string_view name);

// The text with each region's lines, between its opening and its closing line, replaced by its
// body, and the opening line written anew; everything else is kept byte for byte, indentation of
// the marker lines included. The regions are found in the order given. Nothing when a region's
// opening or closing line is missing or repeated, or two regions overlap; error then says which.
[[nodiscard]] std::optional<std::string> splice(std::string_view text, CommentStyle style,
                                                std::span<const Region> regions, std::string& error);

// The parts, each from the rows given (sound_fields() or layer_fields()):
// the sound file's JSON Schema, a whole file;
[[nodiscard]] std::string sound_schema();
[[nodiscard]] std::string bank_schema();
// a tbl table of member, range and meaning, ASCII (roff escapes for the rest);
[[nodiscard]] std::string manual_table(std::span<const SoundField> fields);
// a Markdown table of section, member, range and what it does, format 2's members marked;
[[nodiscard]] std::string readme_table(std::span<const SoundField> fields);
// TypeScript optional number members, each with its title, summary and range, indented for an
// interface;
[[nodiscard]] std::string typescript_members(std::span<const SoundField> fields);
// one TypeScript union of string literals, "export type Name = 'a' | 'b';";
[[nodiscard]] std::string typescript_union(std::string_view name, std::span<const std::string_view> words);
// every union the declarations take from the library: presets, chips, WAV formats, problem kinds,
// slider scales, sections and units.
[[nodiscard]] std::string typescript_words();

// A file of the source tree that the library writes, in whole or in marked regions.
struct DerivedFile {
    std::string_view path;        // from the top of the source tree, with '/'
    CommentStyle style;           // how its marker lines are written (unused for a whole file)
    std::vector<Region> regions;  // in the file's order; one unnamed region for a whole file
};

// The derived files as the library has them now.
[[nodiscard]] std::vector<DerivedFile> derived_files();

// What the file should hold, given what it holds: its whole text, or the committed text with its
// regions written. Nothing (and error says why) when the committed text lacks a region's markers.
[[nodiscard]] std::optional<std::string> derived_text(const DerivedFile& file, std::string_view committed,
                                                      std::string& error);

}  // namespace bleepforge::derived
