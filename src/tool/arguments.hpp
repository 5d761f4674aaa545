#pragma once

// The bleep program's command line after its command word: operands, and options taken as a set
// (each command allows its own), with a value or as a switch.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "result.hpp"

namespace bleepforge::tool {

enum class Option : std::uint8_t {
    output,   // -o, --output FILE
    out_dir,  // --out-dir DIR
    rate,     // --rate HZ
    seed,     // --seed N
    amount,   // --amount A
    name,     // --name IDENT
    layers,   // --layers N
    depfile,  // --depfile FILE
    format,   // --format s16|u8|f32
    header,   // --header (a switch)
    play,     // --play (a switch)
    loop,     // --loop (a switch)
};
inline constexpr std::size_t option_count = 12;

struct Arguments {
    std::vector<std::string> operands;
    std::array<std::optional<std::string>, option_count> values;  // a switch given holds ""

    [[nodiscard]] const std::optional<std::string>& operator[](Option option) const {
        return values[static_cast<std::size_t>(option)];
    }
    [[nodiscard]] bool has(Option option) const { return (*this)[option].has_value(); }
};

// Parses the words after the command word. An option outside allowed, one given twice or a value
// missing is the usage error it fails with; "--" ends the options and "-" is an operand (standard
// input or output). Values come as "--rate 8000" or "--rate=8000".
[[nodiscard]] Result<Arguments> parse_arguments(std::span<const char* const> words,
                                                std::initializer_list<Option> allowed);

// How the option is written on the command line ("-o" for output).
[[nodiscard]] std::string_view spelling_of(Option option);

}  // namespace bleepforge::tool
