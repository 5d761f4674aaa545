// A patch made for the hardware reduced to the NES's frames: the stages stepped once a video frame,
// and each frame's pitch, duty and level mapped to what the 2A03 plays (the mappings are in
// bleepforge/synth.hpp; the register facts from the NESdev wiki's "APU" pages).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>

#include "bleepforge/synth.hpp"
#include "console_frames.hpp"
#include "units.hpp"
#include "voice.hpp"

namespace bleepforge {
namespace {

using namespace voice;

// Register addresses (NESdev wiki "APU").
constexpr std::uint16_t pulse_control = 0x4000;  // DDLC VVVV
constexpr std::uint16_t pulse_sweep = 0x4001;
constexpr std::uint16_t pulse_low = 0x4002;
constexpr std::uint16_t pulse_high = 0x4003;  // writing it restarts the sequencer
constexpr std::uint16_t triangle_control = 0x4008;
constexpr std::uint16_t triangle_low = 0x400A;
constexpr std::uint16_t triangle_high = 0x400B;
constexpr std::uint16_t noise_control = 0x400C;
constexpr std::uint16_t noise_period = 0x400E;  // M--- PPPP
constexpr std::uint16_t noise_length = 0x400F;
constexpr std::uint16_t status = 0x4015;  // ---D NT21: the channels enabled

constexpr std::uint8_t pulse1_enabled = 0x01;
constexpr std::uint8_t triangle_enabled = 0x04;
constexpr std::uint8_t noise_enabled = 0x08;
// $4001 = $08: sweep off with negate set, so the target period never exceeds $7FF and no low note is
// muted (NESdev wiki "APU Sweep").
constexpr std::uint8_t sweep_off = 0x08;
// L = 1 (length counter halted, envelope looping) and C = 1 (constant volume): the volume written
// is the volume heard, until the sound ends.
constexpr std::uint8_t halted_constant_volume = 0x30;
// The triangle's control bit with the longest reload: its linear counter never runs out; control
// with reload 0 stops it at the next quarter frame (NESdev wiki "APU Triangle").
constexpr std::uint8_t triangle_sounding = 0xFF;
constexpr std::uint8_t triangle_stopped = 0x80;

// Timer periods the channels can play: the pulse is silent below 8; the triangle's periods 0 and 1
// are ultrasonic (NESdev wiki "APU Pulse", "APU Triangle").
constexpr int pulse_min_period = 8;
constexpr int triangle_min_period = 2;
constexpr int max_period = 2047;

// The noise channel's clock: period index 3 (32 CPU cycles, 55930 Hz), the nearest of the 16 NTSC
// periods to the 44100 Hz at which the voice steps its own register (NESdev wiki "APU Noise").
constexpr std::uint8_t noise_period_index = 3;
constexpr std::uint8_t noise_short_mode = 0x80;

// What one frame asks of the channels, before it is written as changes.
struct FrameState {
    std::uint8_t tone_control;  // $4000 or $4008
    int period;                 // the tone channel's 11-bit timer period
    std::uint8_t noise_control;
};

int rounded_period(double cycles_per_step, double freq_hz, int min_period) {
    // cycles_per_step / f - 1, rounded to nearest; no pitch above 0 Hz plays the longest period.
    const double t = freq_hz > 0.0 ? floor_exact(cycles_per_step / freq_hz - 1.0 + 0.5) : max_period;
    return t < min_period ? min_period : t > max_period ? max_period : static_cast<int>(t);
}

FrameState frame_state(const FrameTone& tone, bool triangle) {
    FrameState s{};
    if (triangle) {
        s.tone_control = tone.volume > 0 ? triangle_sounding : triangle_stopped;
        s.period = rounded_period(nes_cpu_hz / 32.0, tone.tone_hz, triangle_min_period);
    } else {
        s.tone_control = static_cast<std::uint8_t>(tone.duty << 6U | halted_constant_volume | tone.volume);
        s.period = rounded_period(nes_cpu_hz / 16.0, tone.tone_hz, pulse_min_period);
    }
    s.noise_control = static_cast<std::uint8_t>(halted_constant_volume | (tone.noise_on ? tone.volume : 0));
    return s;
}

}  // namespace

Frames hardware_frames(const SfxPatch& patch, double duration_s) {
    if (patch.chip == ChipType::gameboy) {
        return gameboy_frames(patch, duration_s);
    }
    Frames frames;
    const std::uint64_t count = frame_count(duration_s, nes_frame_hz);
    if (patch.chip != ChipType::nes || count == 0) {
        return frames;
    }
    const bool triangle = generator_of(patch) == Generator::stepped_triangle;
    std::vector<FrameState> states;
    for (const FrameTone& tone : frame_tones(patch, nes_frame_hz, count)) {
        states.push_back(frame_state(tone, triangle));
    }
    // The noise channel is used where some frame sounds it: noise mixed only at volume 0 needs none.
    const bool uses_noise = std::any_of(states.begin(), states.end(),
                                        [](const FrameState& s) { return (s.noise_control & 0x0FU) != 0; });
    const auto noise_mode = static_cast<std::uint8_t>(patch.noise > metallic_noise_above ? noise_short_mode : 0);

    frames.frames.resize(static_cast<std::size_t>(count));
    RegisterFile writer(0x4000, frames.frames[0]);
    const std::uint16_t control = triangle ? triangle_control : pulse_control;
    const std::uint16_t low = triangle ? triangle_low : pulse_low;
    const std::uint16_t high = triangle ? triangle_high : pulse_high;
    writer.write(status, static_cast<std::uint8_t>((triangle ? triangle_enabled : pulse1_enabled) |
                                                   (uses_noise ? noise_enabled : 0)));
    if (!triangle) {
        writer.write(pulse_sweep, sweep_off);
    }
    for (std::size_t n = 0; n < states.size(); ++n) {
        writer.set_frame(frames.frames[n]);
        const FrameState& s = states[n];
        writer.write(control, s.tone_control);
        writer.write(low, static_cast<std::uint8_t>(s.period & 0xFF));
        writer.write(high, static_cast<std::uint8_t>(s.period >> 8));
        if (uses_noise) {
            writer.write(noise_control, s.noise_control);
            writer.write(noise_period, noise_mode | noise_period_index);
            writer.write(noise_length, 0x00);
        }
    }
    return frames;
}

namespace voice {

std::uint64_t frame_count(double duration_s, double frame_hz) {
    const double count = std::ceil(duration_s * frame_hz);
    return count >= 1.0 && count <= 1e9 ? static_cast<std::uint64_t>(count) : 0;
}

std::uint8_t nearest_duty(double duty) {
    constexpr std::array<double, 4> duty_shares{0.125, 0.25, 0.5, 0.75};
    std::size_t nearest = 0;
    for (std::size_t d = 1; d < duty_shares.size(); ++d) {
        if (std::fabs(duty - duty_shares[d]) < std::fabs(duty - duty_shares[nearest])) {
            nearest = d;
        }
    }
    return static_cast<std::uint8_t>(nearest);
}

std::uint8_t volume_of(double level) {
    const double v = floor_exact(15.0 * level + 0.5);
    return v >= 15.0 ? 15 : v >= 1.0 ? static_cast<std::uint8_t>(v) : 0;  // a NaN too is 0
}

std::vector<FrameTone> frame_tones(const SfxPatch& patch, double frame_hz, std::uint64_t count) {
    PitchStages tone(patch, frame_hz);
    const Level level(patch, frame_hz, count);
    std::vector<FrameTone> tones;
    tones.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / frame_hz;
        const Tick tick{n, static_cast<double>(n), t};
        const Tone step = tone.step(tick);
        const bool last = n + 1 == count;
        tones.push_back({step.freq_hz, step.tone_hz, nearest_duty(step.duty),
                         last ? std::uint8_t{0} : volume_of(level.apply(1.0, level.envelope(tick), t) * patch.gain),
                         noise_on_every_sample(patch) || step.freq_hz < patch.noise_below_hz});
    }
    return tones;
}

}  // namespace voice

}  // namespace bleepforge
