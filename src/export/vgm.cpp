// Frames as a VGM file (version 1.61 and later, as vgmrips documents it): the register log chip-music tools
// import, with one wait between frames.
#include <cstdint>
#include <cstdio>
#include <string>

#include "bleepforge/console_export.hpp"

namespace bleepforge {
namespace {

constexpr std::size_t header_size = 0x100;
constexpr std::uint32_t version = 0x161;  // the first to define the Game Boy's and NES's chips
constexpr std::size_t eof_at = 0x04;
constexpr std::size_t version_at = 0x08;
constexpr std::size_t samples_at = 0x18;
constexpr std::size_t data_offset_at = 0x34;
constexpr std::size_t gameboy_clock_at = 0x80;
constexpr std::size_t nes_clock_at = 0x84;
constexpr std::uint32_t vgm_nes_clock = 1789772;  // the value VGM files carry for the NTSC APU
constexpr std::uint8_t gameboy_write = 0xB3;
constexpr std::uint8_t nes_write = 0xB4;
constexpr std::uint8_t wait = 0x61;
constexpr std::uint8_t end = 0x66;
constexpr std::uint64_t vgm_rate = 44100;

void put_u32(std::string& bytes, std::size_t at, std::uint64_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFFU);
    }
}

// Where frame k ends, in samples: k frames of the console's clock cycles, rounded, so the waits
// (738 or 739 on the Game Boy, 733 or 734 on the NES) never drift from its frame rate. The cycles of
// a frame are held as a fraction, the NES's being 59561 / 2.
std::uint64_t frame_end(std::uint64_t k, HardwareModel model) {
    const bool nes = model == HardwareModel::nes;
    const std::uint64_t cycles_num = nes ? 59561 : 70224;
    const std::uint64_t clock = nes ? 2 * 1789773ULL : 4194304ULL;
    const std::uint64_t num = k * vgm_rate * cycles_num;
    return (2 * num + clock) / (2 * clock);
}

}  // namespace

ConsoleFile vgm_file(const Frames& frames) {
    const bool nes = frames.model == HardwareModel::nes;
    const std::uint16_t first = nes ? 0x4000 : 0xFF10;
    const std::uint16_t last = nes ? 0x401F : 0xFF3F;
    const std::uint64_t total = frame_end(frames.frames.size(), frames.model);
    if (total > 0xFFFFFFFFU || frames.frames.size() > 0xFFFFFFFU) {
        return {"", "the sound is too long for a VGM file's count of samples"};
    }
    std::string bytes(header_size, '\0');
    bytes.replace(0, 4, "Vgm ");
    for (std::size_t k = 0; k < frames.frames.size(); ++k) {
        for (const RegisterWrite& w : frames.frames[k]) {
            if (w.address < first || w.address > last) {
                char address[8];
                std::snprintf(address, sizeof address, "%04X", static_cast<unsigned>(w.address));
                return {"", "frame " + std::to_string(k) + " writes " + address +
                                ", which is no sound register of the console"};
            }
            bytes += static_cast<char>(nes ? nes_write : gameboy_write);
            bytes += static_cast<char>(w.address - first);
            bytes += static_cast<char>(w.value);
        }
        const std::uint64_t samples = frame_end(k + 1, frames.model) - frame_end(k, frames.model);
        bytes += static_cast<char>(wait);
        bytes += static_cast<char>(samples & 0xFFU);
        bytes += static_cast<char>(samples >> 8U);
    }
    bytes += static_cast<char>(end);
    if (bytes.size() > 0xFFFFFFFFU) {
        return {"", "the sound is too long for a VGM file"};
    }
    put_u32(bytes, eof_at, bytes.size() - eof_at);
    put_u32(bytes, version_at, version);
    put_u32(bytes, samples_at, total);
    put_u32(bytes, data_offset_at, header_size - data_offset_at);
    put_u32(bytes, nes ? nes_clock_at : gameboy_clock_at,
            nes ? vgm_nes_clock : static_cast<std::uint32_t>(dmg_clock_hz));
    return {std::move(bytes), ""};
}

}  // namespace bleepforge
