#pragma once

// A hardware sound's frames as files a console's tools and sound engines take: the frames as text,
// the sound-effect streams of the FamiTone2 and FamiStudio engines, VGM files, and GBDK's C data.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bleepforge/hardware.hpp"

namespace bleepforge {

// One sound of a bank's export: its name (a C identifier) and its frames.
struct NamedFrames {
    std::string_view name;
    const Frames* frames;
};

// The frames as text, LF line ends: a comment line "# nes (2A03, NTSC), 60.0988 frames a second" (or
// "# gameboy (DMG), 59.7275 frames a second", by the first sound's console), then one line per
// frame, its number and then each write as ADDR=VALUE (four and two upper-case hexadecimal digits)
// in the order written, separated by spaces. Several sounds follow one another,
// each after a comment line "# sound NAME".
[[nodiscard]] std::string frames_text(std::span<const NamedFrames> sounds);

// The frames back from frames_text's text (the comment lines skipped, one Frames per "# sound"
// section or one for the whole text without them, for the console the heading names); nothing when a
// line is not a frame's.
[[nodiscard]] std::optional<std::vector<Frames>> read_frames_text(std::string_view text);

// The longest effect the FamiTone2 engine plays: its stream is read with an 8-bit index, so 256
// bytes with the end byte; and the most effects one list holds (the index is doubled into a byte).
inline constexpr std::size_t famitone_max_stream_bytes = 256;
inline constexpr std::size_t famitone_max_effects = 128;

// The sounds as the sound-effect data of the FamiTone2 and FamiStudio engines, in ca65 syntax: the
// global label `label` with the NTSC list's address twice (NTSC and PAL), the list of one pointer
// per effect in the sounds' order, and each effect's stream (register slot $80 + n and a value, a
// wait $01-$7F of the frames a group lasts, $00 at the end), with a constant <label>_<name> = index
// for each. The engine itself enables the channels ($4015 = $0F), turns the sweep off ($4001 = $08)
// and loads the noise length ($400F = $00), so those writes are left out; any other write without a
// slot, an effect over the engine's limits, or a sound for another console, is refused with the reason.
[[nodiscard]] ConsoleFile famistudio_text(std::span<const NamedFrames> sounds, std::string_view label);

// An effect's stream decoded back into frames, as the engine plays it: frame k holds the slot writes
// the engine makes that frame and the effect has ended after the last. Nothing when the bytes are
// not a stream (a slot above $8A, a missing end).
[[nodiscard]] std::optional<std::vector<FrameWrites>> decode_famistudio_stream(
    std::span<const std::uint8_t> stream);

// The frames as a VGM file (version 1.61, 256-byte header): each frame's writes (B3 aa dd on the
// gameboy, aa = address - $FF10; B4 aa dd on the nes, aa = address - $4000) and then one wait of its
// length in 44100 Hz samples (61 nn nn), the lengths rounded from the start so that the total keeps
// to the console's frame rate, and the end (66); the console's clock and the total count of samples
// in the header. Refused where a write is no sound register of the console or the sound outlasts
// the header's count.
[[nodiscard]] ConsoleFile vgm_file(const Frames& frames);

// A C source and its header, or why there are none: problem is empty exactly when both are made.
struct GbdkFiles {
    std::string source;
    std::string header;
    std::string problem;
};

// How often a game may call the sound-effect player: from once a vertical blank to 1024 times a
// second (GB Studio's engine and VGM2GBSFX's music manager call it from a 256 Hz timer).
inline constexpr double gbdk_player_hz_min = 59.7275;
inline constexpr double gbdk_player_hz_max = 1024.0;

// Gameboy sounds as C data (with <stdint.h> only, for SDCC and any C compiler) in the sound-effect
// stream of GBDK's VGM2GBSFX and GB Studio, for a player called player_hz times a second:
// `const uint8_t NAME[]` of a row for each frame that writes, lasting the calls until the next such
// frame (frame k begins at call round(k player_hz / dmg_frame_hz)): its own and up to 15 it skips,
// then rows of no commands for the rest; then the end row. In the header (header_name, which the
// source includes) each array and MUTE_MASK_NAME, the channels it plays. Refused where a sound is
// the nes's, a frame writes what no command holds, or player_hz is out of range.
[[nodiscard]] GbdkFiles gbdk_files(std::span<const NamedFrames> sounds, std::string_view header_name,
                                   double player_hz = dmg_frame_hz);

// The files a hardware sound or a bank is exported as (bleep export --to, the npm package's exportChip),
// in this order; the extension each is written with (gbdk's source: its header is beside it as .h).
enum class ConsoleExport : std::uint8_t { frames, nsf, famistudio, gbs, vgm, gbdk };
inline constexpr std::array<std::string_view, 6> console_export_words{"frames", "nsf", "famistudio",
                                                                      "gbs",    "vgm", "gbdk"};
inline constexpr std::array<std::string_view, 6> console_export_extensions{".frames", ".nsf", ".s",
                                                                           ".gbs",    ".vgm", ".c"};

// What an export is named by: the sounds' file as given (for the messages; "" for none), the NSF's or
// GBS's title (cut to the 31 and 32 characters each holds), the FamiStudio label, and the file name of
// gbdk's header, which its source includes.
struct ConsoleExportNames {
    std::string_view input;
    std::string_view title;
    std::string_view label;
    std::string_view header_name;
    double player_hz = dmg_frame_hz;  // gbdk: the player's calls a second
};

// An export's file (and gbdk's header), or why there is none: the sounds are not for that file
// (request_refused: a sound of the other console, a bank where the file holds one sound, a bank that
// mixes the consoles), or the file cannot hold them (its writer's reason). problem is empty exactly
// when bytes holds the file.
struct ConsoleFiles {
    std::string bytes;
    std::string header;
    std::string problem;
    bool request_refused = false;
};

// The sounds exported as kind: each kind takes one console's sounds (frames and vgm either's), and
// vgm a single sound. A sound is named in messages by the input for one, by its name in a bank.
[[nodiscard]] ConsoleFiles console_files(std::span<const NamedFrames> sounds, ConsoleExport kind,
                                         const ConsoleExportNames& names);

}  // namespace bleepforge
