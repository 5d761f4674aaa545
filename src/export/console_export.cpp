// Frames as text and as the FamiTone2/FamiStudio sound-effect stream (the stream's codes and timing
// as those engines' update routines read it: FamiTone2 v1.12's _FT2SfxUpdate, FamiStudio's
// famistudio_sfx_update).
#include "bleepforge/console_export.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bleepforge {
namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

void append_hex(std::string& text, unsigned value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        text += hex_digits[(value >> static_cast<unsigned>(shift)) & 0xFU];
    }
}

// The comment line that opens the text: the console and its frame rate.
std::string heading(HardwareModel model) {
    const bool nes = model == HardwareModel::nes;
    char line[64];
    std::snprintf(line, sizeof line, "# %s, %.4f frames a second\n", nes ? "nes (2A03, NTSC)" : "gameboy (DMG)",
                  nes ? nes_frame_hz : dmg_frame_hz);
    return line;
}

// The engines' register slots, in their output buffer's order: the code $80 + n writes slot n.
constexpr std::array<std::uint16_t, 11> slot_registers{0x4000, 0x4002, 0x4003, 0x4004, 0x4006, 0x4007,
                                                       0x4008, 0x400A, 0x400B, 0x400C, 0x400E};
constexpr std::uint8_t first_slot_code = 0x80;
constexpr std::uint8_t end_code = 0x00;
constexpr std::uint8_t longest_wait = 0x7F;

// What the engines write themselves at start-up (FamiToneInit, famistudio_init): an effect's own
// writes of these registers are left out when they say the same.
struct EngineWrite {
    std::uint16_t address;
    std::uint8_t value;
};
constexpr std::array<EngineWrite, 4> engine_writes{
    {{0x4015, 0x0F}, {0x4001, 0x08}, {0x4005, 0x08}, {0x400F, 0x00}}};

std::optional<std::size_t> slot_of(std::uint16_t address) {
    for (std::size_t n = 0; n < slot_registers.size(); ++n) {
        if (slot_registers[n] == address) {
            return n;
        }
    }
    return std::nullopt;
}

// Why the engines cannot play the write, or nothing when a slot holds it or the engine makes it.
std::optional<std::string> unplayable(const RegisterWrite& w) {
    if (slot_of(w.address)) {
        return std::nullopt;
    }
    for (const EngineWrite& e : engine_writes) {
        if (e.address == w.address) {
            if (w.address == 0x4015 || w.value == e.value) {
                return std::nullopt;  // the engine enables all four channels itself
            }
        }
    }
    std::string why = "the write ";
    append_hex(why, w.address, 4);
    why += '=';
    append_hex(why, w.value, 2);
    return why + " has no slot in the engines' sound-effect stream";
}

void append_wait(std::vector<std::uint8_t>& stream, std::size_t frames) {
    while (frames > 0) {
        const std::size_t n = frames < longest_wait ? frames : longest_wait;
        stream.push_back(static_cast<std::uint8_t>(n));
        frames -= n;
    }
}

// One effect's stream: each frame that writes anything, then a wait as long as the frames until the
// next such frame; the last group's wait is one frame short, since the end byte is read on the frame
// after the wait runs out and that frame still plays (so a group followed by the end lasts one frame).
std::optional<std::vector<std::uint8_t>> stream_of(const Frames& frames, std::string& error) {
    std::vector<std::uint8_t> stream;
    std::size_t group = 0;  // the frame the current group began at
    for (std::size_t k = 0; k < frames.frames.size(); ++k) {
        bool writes = false;
        for (const RegisterWrite& w : frames.frames[k]) {
            if (auto why = unplayable(w)) {
                error = "frame " + std::to_string(k) + ": " + *why;
                return std::nullopt;
            }
            if (const std::optional<std::size_t> slot = slot_of(w.address)) {
                if (!writes && k > 0) {
                    append_wait(stream, k - group);
                    group = k;
                }
                writes = true;
                stream.push_back(static_cast<std::uint8_t>(first_slot_code + *slot));
                stream.push_back(w.value);
            }
        }
    }
    if (!frames.frames.empty()) {
        append_wait(stream, frames.frames.size() - group - 1);
    }
    stream.push_back(end_code);
    return stream;
}

}  // namespace

std::string frames_text(std::span<const NamedFrames> sounds) {
    std::string text = heading(sounds.empty() ? HardwareModel::nes : sounds.front().frames->model);
    for (const NamedFrames& sound : sounds) {
        if (sounds.size() > 1) {
            text += "# sound " + std::string(sound.name) + "\n";
        }
        for (std::size_t k = 0; k < sound.frames->frames.size(); ++k) {
            text += std::to_string(k);
            for (const RegisterWrite& w : sound.frames->frames[k]) {
                text += ' ';
                append_hex(text, w.address, 4);
                text += '=';
                append_hex(text, w.value, 2);
            }
            text += '\n';
        }
    }
    return text;
}

std::optional<std::vector<Frames>> read_frames_text(std::string_view text) {
    std::vector<Frames> sounds;
    HardwareModel model = HardwareModel::nes;
    bool sectioned = false;
    auto hex = [](std::string_view digits, std::size_t count, unsigned& out) {
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out, 16);
        return error == std::errc() && end == digits.data() + digits.size() && digits.size() == count;
    };
    while (!text.empty()) {
        const std::size_t line_end = text.find('\n');
        std::string_view line = text.substr(0, line_end);
        text = line_end == std::string_view::npos ? std::string_view() : text.substr(line_end + 1);
        if (line.starts_with("# sound ")) {
            sectioned = true;
            sounds.emplace_back();
            continue;
        }
        if (line.starts_with("#")) {
            if (line.starts_with("# gameboy")) {
                model = HardwareModel::gameboy;
            }
            continue;
        }
        if (sounds.empty() || (!sectioned && sounds.size() > 1)) {
            if (sectioned) {
                return std::nullopt;  // a frame before the first "# sound"
            }
            sounds.emplace_back();
        }
        Frames& frames = sounds.back();
        const std::size_t space = line.find(' ');
        unsigned number = 0;
        const std::string_view count = line.substr(0, space);
        const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), number);
        if (error != std::errc() || end != count.data() + count.size() || number != frames.frames.size()) {
            return std::nullopt;
        }
        FrameWrites& writes = frames.frames.emplace_back();
        std::string_view rest = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        while (!rest.empty()) {
            const std::size_t next = rest.find(' ');
            const std::string_view write = rest.substr(0, next);
            rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
            unsigned address = 0;
            unsigned value = 0;
            if (write.size() != 7 || write[4] != '=' || !hex(write.substr(0, 4), 4, address) ||
                !hex(write.substr(5), 2, value)) {
                return std::nullopt;
            }
            writes.push_back({static_cast<std::uint16_t>(address), static_cast<std::uint8_t>(value)});
        }
    }
    for (Frames& frames : sounds) {
        frames.model = model;
    }
    return sounds;
}

ConsoleFile famistudio_text(std::span<const NamedFrames> sounds, std::string_view label) {
    if (sounds.size() > famitone_max_effects) {
        return {"", std::to_string(sounds.size()) + " sounds: the engines' list holds at most " +
                        std::to_string(famitone_max_effects)};
    }
    for (const NamedFrames& sound : sounds) {
        if (sound.frames->model != HardwareModel::nes) {
            return {"", "\"" + std::string(sound.name) + "\" is a sound for the gameboy; the engines play the nes's"};
        }
    }
    const std::string name(label);
    std::string text =
        "; Sound effects for the FamiTone2 and FamiStudio sound engines (NTSC), from Bleepforge.\n"
        "; Pass " +
        name +
        " to FamiToneSfxInit or famistudio_sfx_init (X = low byte, Y = high byte), then an effect's\n"
        "; index below to FamiToneSfxPlay or famistudio_sfx_play in A.\n";
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        text += name + "_" + std::string(sounds[i].name) + " = " + std::to_string(i) + "\n";
    }
    text += ".export " + name + "\n" + name + ":\n    .word @ntsc\n    .word @ntsc\n@ntsc:\n";
    for (const NamedFrames& sound : sounds) {
        text += "    .word @" + std::string(sound.name) + "\n";
    }
    for (const NamedFrames& sound : sounds) {
        std::string error;
        const std::optional<std::vector<std::uint8_t>> stream = stream_of(*sound.frames, error);
        if (!stream) {
            return {"", "\"" + std::string(sound.name) + "\": " + error};
        }
        if (stream->size() > famitone_max_stream_bytes) {
            return {"", "\"" + std::string(sound.name) + "\" makes a stream of " +
                            std::to_string(stream->size()) + " bytes; the FamiTone2 engine plays " +
                            std::to_string(famitone_max_stream_bytes) +
                            " at most (fewer changes, or a shorter sound, make it fit)"};
        }
        text += "@" + std::string(sound.name) + ":\n";
        for (std::size_t at = 0; at < stream->size(); at += 16) {
            text += "    .byte ";
            for (std::size_t j = at; j < stream->size() && j < at + 16; ++j) {
                text += j == at ? "$" : ",$";
                append_hex(text, (*stream)[j], 2);
            }
            text += '\n';
        }
    }
    return {std::move(text), ""};
}

std::optional<std::vector<FrameWrites>> decode_famistudio_stream(std::span<const std::uint8_t> stream) {
    std::vector<FrameWrites> frames;
    std::size_t at = 0;
    // Each frame the engine reads writes until a wait or the end; a wait of n holds for n frames, this
    // one included; the end, read on the frame after a wait runs out, lets that frame play too.
    for (;;) {
        FrameWrites& frame = frames.emplace_back();
        for (;;) {
            if (at >= stream.size()) {
                return std::nullopt;
            }
            const std::uint8_t code = stream[at++];
            if (code == end_code) {
                return frames;
            }
            if (code <= longest_wait) {
                for (std::uint8_t n = 1; n < code; ++n) {
                    frames.emplace_back();
                }
                break;
            }
            const std::size_t slot = code - first_slot_code;
            if (slot >= slot_registers.size() || at >= stream.size()) {
                return std::nullopt;
            }
            frame.push_back({slot_registers[slot], stream[at++]});
        }
    }
}

}  // namespace bleepforge
