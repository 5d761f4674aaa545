#pragma once

// What the NSF and GBS writers share: the checks on the songs their replay players are given, each
// song's frames as one stream of (register, value) pairs with the player's end codes, and the little
// helpers of their headers.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge::replay {

// One file kind and its player.
struct FileKind {
    std::string_view a_file;   // "an NSF", "a GBS": in the messages
    std::string_view console;  // "the NES", "the Game Boy"
    HardwareModel model;
    std::size_t title_max;
    std::uint16_t register_base;  // a stream's register byte is the address less this
    std::uint8_t end_of_frame;
    std::uint8_t end_of_sound;
    std::size_t max_frame_writes;
    std::string (*refused_write)(const RegisterWrite&);  // why the player may not make it, or ""
};

// Each song's stream, or why the songs cannot be the file's: none or more than 255, a title too long
// or not printable ASCII, a song of another console, a frame of too many writes or a write refused.
struct Streams {
    std::vector<std::string> streams;
    std::string problem;
};
[[nodiscard]] Streams streams_of(std::span<const Frames> songs, std::string_view title, const FileKind& kind);

// One song's stream read back from offset at of data, as streams_of writes it: its frames and the
// offset just past its end, or why it cannot be read (it runs past the end, its last frame has no
// end, or it holds a register byte above the end of a frame or one that readable, given its address,
// refuses; without readable every register below the end codes is read).
struct StreamRead {
    Frames song;
    std::size_t end = 0;
    std::string problem;
};
[[nodiscard]] StreamRead read_stream(std::string_view data, std::size_t at, std::size_t song,
                                     const FileKind& kind, bool (*readable)(std::uint16_t address) = nullptr);

// The streams' total size in bytes.
[[nodiscard]] std::size_t size_of(const std::vector<std::string>& streams);

// $ and four upper-case hex digits.
[[nodiscard]] std::string hex4(unsigned v);

void put16(std::string& bytes, std::size_t at, std::uint16_t v);  // little-endian
[[nodiscard]] std::uint16_t get16(std::string_view bytes, std::size_t at);

}  // namespace bleepforge::replay
