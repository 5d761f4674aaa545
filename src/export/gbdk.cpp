// Game Boy frames as C data in the sound-effect stream that the sfx_play_isr player of GBDK's
// VGM2GBSFX and of GB Studio reads: rows of a count byte (the calls to skip after the row, the
// commands in it) and commands that write up to five registers of one group.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bleepforge/console_export.hpp"

namespace bleepforge {
namespace {

constexpr std::uint16_t first_register = 0xFF10;
constexpr std::uint16_t last_register = 0xFF28;  // the groups of five up to NR52 and two unused
constexpr unsigned group_size = 5;
constexpr unsigned sound_control_group = 4;      // NR50, NR51, NR52
constexpr unsigned max_commands = 15;
constexpr unsigned max_skipped = 15;
constexpr std::uint8_t terminator = 0x07;

std::string byte_text(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFFU);
    return text;
}

// One frame's row. Writes are taken in their order: consecutive writes of one group at rising
// places share a command (mask bit 7 - place, the values lowest address first); any other write
// starts the next, so the player makes them in the same order. Nothing where the row cannot hold
// the frame.
std::optional<std::vector<std::uint8_t>> row_of(const FrameWrites& writes, unsigned& channels,
                                                std::string& error) {
    std::vector<std::uint8_t> row{0};
    int group = -1;
    int place = -1;
    std::size_t command_at = 0;
    for (const RegisterWrite& w : writes) {
        if (w.address < first_register || w.address > last_register) {
            char address[8];
            std::snprintf(address, sizeof address, "%04X", static_cast<unsigned>(w.address));
            error = std::string("the write to ") + address + " has no command in the stream";
            return std::nullopt;
        }
        const unsigned offset = w.address - first_register;
        const auto g = static_cast<int>(offset / group_size);
        const auto p = static_cast<int>(offset % group_size);
        if (g != group || p <= place) {
            if (row[0] == max_commands) {
                error = "the writes need more than " + std::to_string(max_commands) + " commands";
                return std::nullopt;
            }
            ++row[0];
            command_at = row.size();
            row.push_back(static_cast<std::uint8_t>(g));
            group = g;
            if (static_cast<unsigned>(g) != sound_control_group) {
                channels |= 1U << static_cast<unsigned>(g);
            }
        }
        row[command_at] = static_cast<std::uint8_t>(row[command_at] | (0x80U >> static_cast<unsigned>(p)));
        row.push_back(w.value);
        place = p;
    }
    return row;
}

// The player's call on which frame k begins, for a player called player_hz times a second.
std::uint64_t first_call(std::size_t k, double player_hz) {
    return static_cast<std::uint64_t>(std::floor(static_cast<double>(k) * player_hz / dmg_frame_hz + 0.5));
}

std::string header_guard(std::string_view header_name) {
    std::string guard = "BLEEPFORGE_";
    for (const char c : header_name) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        guard += alnum ? static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) : '_';
    }
    return guard;
}

// One sound's stream as C text, each row lasting until the next frame that writes, and the channels
// it plays; or why one of its frames cannot be a row.
struct SoundRows {
    std::string rows;
    unsigned channels = 0;
    std::string problem;
};

SoundRows rows_of(const std::vector<FrameWrites>& frames, double player_hz) {
    SoundRows made;
    const auto row_text = [&made](const std::vector<std::uint8_t>& row) {
        made.rows += "    ";
        for (const std::uint8_t byte : row) {
            made.rows += byte_text(byte);
            made.rows += ',';
        }
        made.rows += "\n";
    };
    for (std::size_t k = 0; k < frames.size(); ++k) {
        std::string error;
        std::optional<std::vector<std::uint8_t>> row = row_of(frames[k], made.channels, error);
        if (!row) {
            return {"", 0, "frame " + std::to_string(k) + ": " + error};
        }
        // The row lasts until the next frame that writes: the calls between, as the row's own and
        // the calls it skips, and rows of no commands for more than it can skip.
        std::size_t next = k + 1;
        while (next < frames.size() && frames[next].empty()) {
            ++next;
        }
        std::uint64_t calls = first_call(next, player_hz) - first_call(k, player_hz);
        calls = calls == 0 ? 1 : calls;
        for (bool first = true; calls > 0; first = false) {
            const std::uint64_t taken = calls < max_skipped + 1 ? calls : max_skipped + 1;
            std::vector<std::uint8_t> held = first ? *row : std::vector<std::uint8_t>{0};
            held[0] = static_cast<std::uint8_t>(held[0] | (taken - 1) << 4U);
            row_text(held);
            calls -= taken;
        }
        k = next - 1;
    }
    return made;
}

}  // namespace

GbdkFiles gbdk_files(std::span<const NamedFrames> sounds, std::string_view header_name, double player_hz) {
    if (!(player_hz >= gbdk_player_hz_min && player_hz <= gbdk_player_hz_max)) {
        return {"", "", "the player's calls a second must be from 59.7275 to 1024"};
    }
    GbdkFiles files;
    char timing[160];
    std::snprintf(timing, sizeof timing, "// GB Studio, timed for sfx_play_isr called %.4f times a second%s.\n", player_hz,
                  player_hz == dmg_frame_hz ? " (once a vertical blank)" : "");
    files.source =
        "// Game Boy sound effects from Bleepforge, as the sound-effect stream of GBDK's VGM2GBSFX and\n" +
        std::string(timing) + "#include <stdint.h>\n\n#include \"" + std::string(header_name) + "\"\n";
    const std::string guard = header_guard(header_name);
    files.header = "#ifndef " + guard + "\n#define " + guard +
                   "\n\n// Game Boy sound effects from Bleepforge. MUTE_MASK_<name>: the channels the effect "
                   "plays\n// (bit 0 = channel 1 ... bit 3 = channel 4), to mute in the music while it "
                   "runs.\n#include <stdint.h>\n\n";
    for (const NamedFrames& sound : sounds) {
        const std::string name(sound.name);
        if (sound.frames->model != HardwareModel::gameboy) {
            return {"", "", "\"" + name + "\" is a sound for the nes; the stream is the gameboy's"};
        }
        const SoundRows made = rows_of(sound.frames->frames, player_hz);
        if (!made.problem.empty()) {
            return {"", "", "\"" + name + "\", " + made.problem};
        }
        files.source += "\nconst uint8_t " + name + "[] = {\n";
        files.source += made.rows;
        files.source += "    0x01," + byte_text(terminator) + "};\n";
        files.header += "#define MUTE_MASK_" + name + " " + byte_text(made.channels);
        files.header += "\nextern const uint8_t " + name + "[];\n";
    }
    files.header += "\n#endif\n";
    return files;
}

}  // namespace bleepforge
