#pragma once

// GBS files (Game Boy Sound System, version 1) of frames: what GBS players play, with our own replay
// player.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge {

// The title a GBS holds at most: its 32-byte field, NUL-padded, needs no NUL at the end.
inline constexpr std::size_t gbs_title_max = 32;

// A GBS version 1 file with one song a sound, in order, starting with the first: loaded at $0400, its
// INIT at $0400 and PLAY at $0424 are our replay player, PLAY called at every vertical blank (TMA = TAC =
// 0), the stack at $FFFE, no bank switching. INIT powers the sound unit off and on (every register
// clear), sets NR50 = $77, NR51 = $FF and NR10 = $00, and so leaves it as GbRender starts it; PLAY call k
// makes frame k's writes, in order; after the last frame each call returns without writing. The title is
// the one given (the sound's name for one song, a bank's name for several): printable ASCII,
// gbs_title_max characters at most, empty for none; author and copyright are empty. Nothing is added to
// the frames: a sound that should end silent ends with frames that silence it. Refused, with the reason,
// are: no song or more than 255, frames of another console, a frame of more than 127 writes, a write
// outside the sound registers $FF10-$FF26 and wave RAM $FF30-$FF3F or to one of the unused $FF15 and
// $FF1F, a title too long or not printable ASCII, and data past the 31744 bytes from $0400 to $7FFF.
[[nodiscard]] ConsoleFile gbs_file(std::span<const Frames> songs, std::string_view title);

// A GBS's songs read back, or why not: problem is empty exactly when songs and title were read.
struct GbsSongs {
    std::vector<Frames> songs;
    std::string title;
    std::string problem;
};

// The frames and the title of a GBS that gbs_file wrote: gbs_file(read_gbs(f).songs, title) gives f again.
// Any other file (another player, a damaged stream) is refused with the reason.
[[nodiscard]] GbsSongs read_gbs(std::string_view bytes);

}  // namespace bleepforge
