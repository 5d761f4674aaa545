#pragma once

// The bleep program's command line as two tables: its options (how each is written, the name of its
// value, what it does) and its commands (their words and operands, and which options each takes).
// The words after a command word are parsed against its row, and the usage and the help are
// written from both tables.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "result.hpp"

namespace bleepforge::tool {

// In the order the help lists them.
enum class Option : std::uint8_t {
    output,    // -o, --output FILE
    out_dir,   // --out-dir DIR
    rate,      // --rate HZ
    format,    // --format s16|u8|f32
    to,        // --to frames|nsf|famistudio|gbs|vgm|gbdk
    player_rate,  // --player-rate HZ
    name,      // --name IDENT
    seed,      // --seed N
    amount,    // --amount A
    layers,    // --layers N
    depfile,   // --depfile FILE
    loop,      // --loop (a switch)
    header,    // --header (a switch)
    play,      // --play (a switch)
    hardware,  // --hardware (a switch)
    strict,    // --strict (a switch)
    help,      // -h, --help: instead of a command
    version,   // --version: instead of a command
};
inline constexpr std::size_t option_count = 18;

// One option: how it is written, the name of its value (none for a switch) and what it does.
struct OptionRow {
    Option option;
    std::string_view spelling;                       // as the usage writes it, "-o"
    std::string_view long_spelling;                  // the other way to write it, "--output", or empty
    std::string_view value;                          // "FILE"; empty for a switch
    std::string_view description;                    // for the help, after the commands that take it
    std::span<const std::string_view> choices = {};  // the words the value is one of, if it is
};

// How one command's usage shows an option it takes.
struct OptionUse {
    Option option;
    std::string_view value = {};  // the value's name here, when not the option's own ("OUT.wav")
    bool choices = false;         // the value as its choices: "s16|u8|f32"
    bool or_next = false;         // one or the other with the next: "[-o OUT.wav | --out-dir DIR]"
    bool required = false;        // the command needs it, so the usage shows it without brackets
};

enum class Verb : std::uint8_t {
    new_sound,
    random,
    mutate,
    render,
    header,
    export_sound,
    check,
    play,
    watch,
    studio
};


// One command: its word and operands, what it does, and the options it takes, in its usage's order.
struct CommandRow {
    Verb verb;
    std::string_view word;
    std::string_view operands;  // "PRESET [CHIP]"; empty when it takes none
    std::string_view summary;   // for the help
    std::span<const OptionUse> options;
};

// The tables, in the order the help lists them.
[[nodiscard]] std::span<const OptionRow> option_rows();
[[nodiscard]] std::span<const CommandRow> command_rows();

// The command a word names, or "unknown command WORD".
[[nodiscard]] Result<const CommandRow*> find_command(std::string_view word);

// The option a whole word spells ("-h", "--help"), if any.
[[nodiscard]] std::optional<Option> spelled(std::string_view word);

// How the option is written on the command line ("-o" for output).
[[nodiscard]] std::string_view spelling_of(Option option);

struct Arguments {
    std::vector<std::string> operands;
    std::array<std::optional<std::string>, option_count> values;  // a switch given holds ""

    [[nodiscard]] const std::optional<std::string>& operator[](Option option) const {
        return values[static_cast<std::size_t>(option)];
    }
    [[nodiscard]] bool has(Option option) const { return (*this)[option].has_value(); }
};

// Parses the words after the command word. An option the command does not take, one given twice or
// a value missing is the usage error it fails with; "--" ends the options and "-" is an operand
// (standard input or output). Values come as "--rate 8000" or "--rate=8000".
[[nodiscard]] Result<Arguments> parse_arguments(std::span<const char* const> words,
                                                std::span<const OptionUse> allowed);

// The usage of every command, a line each, from the command table.
[[nodiscard]] std::string usage_text();
// The help's list of commands, and its list of options with the commands that take each, wrapped to
// help_width columns.
[[nodiscard]] std::string commands_help();
[[nodiscard]] std::string options_help();
inline constexpr std::size_t help_width = 92;

}  // namespace bleepforge::tool
