#pragma once

// Sounds made for the hardware: a sound reduced to the register writes of each video frame (its
// frames), which a model of the console's sound unit renders and the exporters carry to the
// console's own players.

#include <cstdint>
#include <string>
#include <vector>

namespace bleepforge {

// One write to a sound register: the CPU address and the byte written.
struct RegisterWrite {
    std::uint16_t address;
    std::uint8_t value;

    friend bool operator==(const RegisterWrite&, const RegisterWrite&) = default;
};

// The writes of one video frame, in the order they are made.
using FrameWrites = std::vector<RegisterWrite>;

// The consoles whose sound unit has a model here.
enum class HardwareModel : std::uint8_t { nes, gameboy };

// A sound's frames: frame k's writes are made at the start of video frame k.
struct Frames {
    HardwareModel model = HardwareModel::nes;
    std::vector<FrameWrites> frames;

    friend bool operator==(const Frames&, const Frames&) = default;
};

// A file made for a console's players, or why there is none: problem is empty exactly when bytes holds
// the file.
struct ConsoleFile {
    std::string bytes;
    std::string problem;
};

// The NTSC NES (2A03): the CPU clock and the CPU cycles of one video frame (rendering on), so about
// 60.0988 frames a second. Frame k starts at CPU cycle floor(k * nes_frame_cycles).
inline constexpr double nes_cpu_hz = 1789773.0;
inline constexpr double nes_frame_cycles = 29780.5;
inline constexpr double nes_frame_hz = nes_cpu_hz / nes_frame_cycles;

// The Game Boy (DMG): the master clock and the clock cycles of one video frame (154 lines of 456
// dots), so about 59.7275 frames a second, the vertical blank's rate. Frame k starts at cycle
// k * dmg_frame_cycles.
inline constexpr double dmg_clock_hz = 4194304.0;
inline constexpr double dmg_frame_cycles = 70224.0;
inline constexpr double dmg_frame_hz = dmg_clock_hz / dmg_frame_cycles;

}  // namespace bleepforge
