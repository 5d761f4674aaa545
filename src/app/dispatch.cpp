#include "dispatch.hpp"

#include <charconv>
#include <initializer_list>
#include <string>
#include <string_view>

#include "bleepforge/bleepforge.hpp"

namespace bleepforge {
namespace {

constexpr double render_duration_s = 0.5;
constexpr std::int32_t render_rate_hz = 44100;
constexpr std::string_view default_chip_word = "nes";
constexpr std::string_view header_prefix = "chiptune_sfx";

constexpr std::string_view chip_list =
    "Supported Sound Chips:\n"
    "  1. nes       \xE2\x80\x94 Nintendo 2A03 (Pulse 12.5%/25%/50%, Stepped Triangle, LFSR Noise)\n"
    "  2. sid       \xE2\x80\x94 MOS Technology 6581/8580 (Pulse+Saw, 12dB Resonant Filter)\n"
    "  3. gameboy   \xE2\x80\x94 Game Boy DMG-01 APU\n"
    "  4. ym2612    \xE2\x80\x94 Yamaha YM2612 (Sega Genesis 4-Operator FM Synthesis)";

constexpr std::string_view preset_list =
    "Available Game Sound Presets:\n"
    "  laser, jump, explosion, coin, powerup, hit, blip, game_over";

constexpr std::string_view rule = "===============================================================";

// One message: its pieces, a newline, then a flush, so the lines keep their order when both
// streams go to one place.
void say(std::FILE* stream, std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) {
        std::fwrite(piece.data(), 1, piece.size(), stream);
    }
    std::fputc('\n', stream);
    std::fflush(stream);
}

void print_usage(std::FILE* out, std::string_view program) {
    // clang-format off
    say(out, {rule, "\n",
              "  Bleepforge DAW v2.0 - Retro Sound Chip Synthesizer & SFX Workstation\n",
              rule, "\n\n",
              "Usage: ", program, " [command] [options...]\n\n",
              "Interactive GUI:\n",
              "  ", program, " --gui                              Launch native visual synthesizer & oscilloscope\n\n",
              "Console & Batch Commands:\n",
              "  --render <PRESET> [CHIP] <OUT.wav>    Render retro game SFX directly to 16-bit WAV\n",
              "  --header <PRESET> [CHIP] <OUT.h>      Export C/C++ audio array header for game engines\n",
              "  --list-chips                          List all supported sound chip emulations\n",
              "  --list-presets                        List all 1-click game sound effect presets\n\n",
              rule});
    // clang-format on
}

struct RenderJob {
    SfxPreset preset;
    ChipType chip;
    std::string path;
};

// PRESET [CHIP] PATH after the command word; further words are ignored.
RenderJob read_render_job(std::span<const char* const> args) {
    const bool chip_given = args.size() >= 5;
    const std::string_view chip_word = chip_given ? std::string_view(args[3]) : default_chip_word;
    const SfxPreset preset = parse_preset(args[2]);
    const ChipType chip = parse_chip(chip_word);
    return {preset, chip, chip_given ? args[4] : args[3]};
}

SampleBuffer render_job(const RenderJob& job) {
    return render_sfx(make_patch(job.preset, job.chip), render_duration_s, render_rate_hz);
}

int render_to_wav(std::span<const char* const> args, const Console& console) {
    const RenderJob job = read_render_job(args);
    say(console.out, {"Rendering ", preset_display_name(job.preset), " on ", chip_display_name(job.chip),
                      " -> ", job.path, "..."});
    const SampleBuffer samples = render_job(job);
    if (!write_wav(job.path, samples, render_rate_hz)) {
        say(console.err, {"ERROR: Failed to write WAV file to ", job.path});
        return 1;
    }
    char count[24];
    const char* count_end = std::to_chars(count, count + sizeof count, samples.size()).ptr;
    say(console.out,
        {"SUCCESS: 16-bit 44.1kHz WAV sound exported (", std::string_view(count, count_end), " samples)!"});
    return 0;
}

int render_to_header(std::span<const char* const> args, const Console& console) {
    const RenderJob job = read_render_job(args);
    const SampleBuffer samples = render_job(job);
    if (!write_c_header(job.path, samples, header_prefix, render_rate_hz)) {
        say(console.err, {"ERROR: Failed to write header file to ", job.path});
        return 1;
    }
    say(console.out, {"SUCCESS: C/C++ audio header written to ", job.path, "!"});
    return 0;
}

}  // namespace

int run_command_line(std::span<const char* const> args, const Console& console) {
    if (args.size() < 2 || std::string_view(args[1]) == "--gui") {
        console.show_about();
        return 0;
    }
    const std::string_view command = args[1];
    if (command == "--list-chips") {
        say(console.out, {chip_list});
        return 0;
    }
    if (command == "--list-presets") {
        say(console.out, {preset_list});
        return 0;
    }
    if (command == "--render" && args.size() >= 4) {
        return render_to_wav(args, console);
    }
    if (command == "--header" && args.size() >= 4) {
        return render_to_header(args, console);
    }
    print_usage(console.out, args[0]);
    return 1;
}

}  // namespace bleepforge
