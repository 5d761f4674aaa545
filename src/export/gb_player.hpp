#pragma once

// The GBS's replay player: the bytes sdasgb, sdldgb and makebin make of gb_player.s at $0400 (a test
// assembles the source and compares). INIT is the first byte, PLAY follows it; the table of the songs'
// stream addresses goes right after.

#include <array>
#include <cstddef>
#include <cstdint>

namespace bleepforge::gb_player {

inline constexpr std::uint16_t load_address = 0x0400;
inline constexpr std::uint16_t init_address = 0x0400;
inline constexpr std::uint16_t play_address = 0x0424;
inline constexpr std::uint16_t stack_pointer = 0xFFFE;
inline constexpr std::uint8_t end_of_frame = 0x80;
inline constexpr std::uint8_t end_of_sound = 0xFF;
// A frame's writes, as the NSF's player has them; 56 cycles each, 127 take 7112 of
// the frame's 70224.
inline constexpr std::size_t max_frame_writes = 127;

// clang-format off
inline constexpr std::array<std::uint8_t, 63> code = {
    // init, $0400
    0x5F, 0x16, 0x00, 0x21, 0x3F, 0x04, 0x19, 0x19, 0x2A, 0x66, 0xEA, 0x00, 0xC0, 0x7C, 0xEA, 0x01,
    0xC0, 0xAF, 0xE0, 0x26, 0x3E, 0x80, 0xE0, 0x26, 0x3E, 0x77, 0xE0, 0x24, 0x3E, 0xFF, 0xE0, 0x25,
    0xAF, 0xE0, 0x10, 0xC9,
    // play, $0424
                            0x21, 0x00, 0xC0, 0x2A, 0x66, 0x6F, 0x2A, 0xCB, 0x7F, 0x20, 0x05, 0x4F,
    0x2A, 0xE2, 0x18, 0xF6, 0x3C, 0xC8, 0x7D, 0xEA, 0x00, 0xC0, 0x7C, 0xEA, 0x01, 0xC0, 0xC9,
};
// clang-format on
// Where INIT reads the song's stream address from.
inline constexpr std::uint16_t table_address = load_address + code.size();

}  // namespace bleepforge::gb_player
