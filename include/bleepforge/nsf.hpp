#pragma once

// NSF files (NES Sound Format, version 1) of frames: what NSF players play, with our own replay player.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge {

// The title an NSF holds at most: its 32-byte field ends with a NUL.
inline constexpr std::size_t nsf_title_max = 31;

// An NSF version 1 file for the NTSC NES (play period 16639 us, no bank switching, no expansion sound)
// with one song a sound, in order, starting with the first. Its INIT and PLAY are our replay player:
// PLAY call k makes frame k's writes, in order; after the last frame each call returns without writing.
// The unit starts as NesRender starts it. Title, artist and copyright are "<?>" but for a title given
// (the sound's name for one song, a bank's name for several): printable ASCII, nsf_title_max characters
// at most. Nothing is added to the frames: a sound that should end silent ends with frames that
// silence it. Refused, with the reason, are: no song or more than 255, frames of another console, a
// frame of more than 127 writes, a write an NSF may not make or the model does not play (an address
// other than $4000-$4013 and $4015, $4010 with its interrupt bit, $4015 enabling DMC samples), a title
// too long or not printable ASCII, and data past the 32762 bytes from $8000 to $FFF9.
[[nodiscard]] ConsoleFile nsf_file(std::span<const Frames> songs, std::string_view title);

// An NSF's songs read back, or why not: problem is empty exactly when songs and title were read.
struct NsfSongs {
    std::vector<Frames> songs;
    std::string title;  // empty for "<?>"
    std::string problem;
};

// The frames and the title of an NSF that nsf_file wrote: nsf_file(read_nsf(f).songs, title) gives f
// again. Any other file (another player, a damaged stream) is refused with the reason.
[[nodiscard]] NsfSongs read_nsf(std::string_view bytes);

}  // namespace bleepforge
