#pragma once

namespace bleepforge {

inline constexpr const char* about_caption = "Bleepforge DAW";
inline constexpr const char* about_text =
    "Bleepforge DAW v2.0 - Retro Sound Chip Synthesizer\n\n"
    "Emulating: NES 2A03, Commodore 64 SID 6581, Game Boy DMG, and Sega Genesis YM2612.\n"
    "Run from command prompt with --help to render WAV sound effects directly.";

// Shows the information box (caption, text, information icon, one OK button) and returns when
// it is dismissed. One implementation per platform.
void show_about_box();

}  // namespace bleepforge
