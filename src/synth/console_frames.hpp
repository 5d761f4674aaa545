#pragma once

// What every console's reduction of a sound to frames shares: the stages stepped once a video frame,
// each frame's pitch, duty and level as the console's channels take them, and the registers as last
// written, so that a frame writes only what changes.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "bleepforge/hardware.hpp"
#include "bleepforge/synth.hpp"

namespace bleepforge::voice {

// One frame of the sound as the channels take it.
struct FrameTone {
    double freq_hz;      // the pitch before vibrato, which decides whether noise is mixed
    double tone_hz;      // with vibrato: the tone channel's pitch
    std::uint8_t duty;   // the nearest of 12.5, 25, 50 and 75 %, as 0 ... 3
    std::uint8_t volume; // round(15 L), L = envelope x punch x tremolo x gain, held in 0 to 15
    bool noise_on;       // the voice mixes noise this frame
};

// The frames that begin before duration_s at frame_hz: ceil(duration_s * frame_hz); 0 where that is
// not a count from 1 to a billion.
[[nodiscard]] std::uint64_t frame_count(double duration_s, double frame_hz);

// The nearest of the duties 12.5, 25, 50 and 75 % to duty, as 0 ... 3; and a level as a 4-bit volume,
// round(15 level) held in 0 to 15 (a NaN is 0).
[[nodiscard]] std::uint8_t nearest_duty(double duty);
[[nodiscard]] std::uint8_t volume_of(double level);

// Each frame's tone at frame_hz, the stages stepped once a frame as at that rate; the last frame's
// volume 0, which silences the sound.
[[nodiscard]] std::vector<FrameTone> frame_tones(const SfxPatch& patch, double frame_hz, std::uint64_t count);

// The registers of one console, from first_address on, as last written: write() adds a write to the
// current frame only where the value changes (or where always is set).
class RegisterFile {
public:
    RegisterFile(std::uint16_t first_address, FrameWrites& frame) : first_(first_address), frame_(frame) {}
    void write(std::uint16_t address, std::uint8_t value, bool always = false) {
        std::optional<std::uint8_t>& last = held_[address - first_];
        if (always || last != value) {
            frame_.get().push_back({address, value});
            last = value;
        }
    }
    [[nodiscard]] std::optional<std::uint8_t> held(std::uint16_t address) const { return held_[address - first_]; }
    void set_frame(FrameWrites& frame) { frame_ = frame; }

private:
    std::uint16_t first_;
    std::reference_wrapper<FrameWrites> frame_;
    std::array<std::optional<std::uint8_t>, 0x40> held_{};
};

// The noise amount above which a console's noise plays its short, "metallic" sequence: where the
// voice's filter would ring.
inline constexpr double metallic_noise_above = 0.75;

// The Game Boy's frames of a patch (hardware_frames for the gameboy).
[[nodiscard]] Frames gameboy_frames(const SfxPatch& patch, double duration_s);

}  // namespace bleepforge::voice
