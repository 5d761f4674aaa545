// A patch made for the hardware reduced to the Game Boy's frames: the tone on pulse 1, noise on the
// noise channel, and the levels as the channels' 4-bit volumes, which the DMG takes only on a trigger
// or by its own envelope steps (Pan Docs, "Audio Registers" and "Audio Details"). The mapping is
// described in bleepforge/synth.hpp.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "bleepforge/synth.hpp"
#include "console_frames.hpp"
#include "voice.hpp"

namespace bleepforge::voice {
namespace {

// Pulse 1 is FF10-FF14: NR10 -PPP DSSS (sweep), NR11 DDLL LLLL (duty, length), NR12 VVVV APPP
// (volume, envelope direction and pace), NR13 the period's low 8 bits, NR14 TL-- -PPP (trigger,
// length enable, the period's high bits). The noise is FF20-FF23: NR41 length, NR42 as NR12, NR43
// SSSS WRRR (clock shift, 7-bit width, divisor), NR44 as NR14 without a period.
constexpr std::uint16_t nr10 = 0xFF10;
constexpr std::uint16_t nr41 = 0xFF20;
constexpr std::uint16_t nr50 = 0xFF24;
constexpr std::uint16_t nr51 = 0xFF25;
constexpr std::uint16_t nr52 = 0xFF26;  // P--- ----: the sound unit's power

constexpr std::uint8_t power_on = 0x80;
constexpr std::uint8_t full_volume = 0x77;   // both sides at (7 + 1) / 8
constexpr std::uint8_t every_side = 0xFF;    // every channel to both sides
constexpr std::uint8_t sweep_off = 0x00;     // pace 0, step 0: no sweep and no overflow check
constexpr std::uint8_t trigger = 0x80;
constexpr std::uint8_t envelope_up = 0x08;
// The noise clock 262144 / (r 2^s) Hz with r = 3, s = 1: 43691 Hz, the nearest the channel has to the
// 44100 Hz at which the voice steps its own noise register; bit 3 selects the 7-bit sequence.
constexpr std::uint8_t noise_clock = 0x13;
constexpr std::uint8_t noise_short = 0x08;

constexpr double envelope_hz = 64.0;
constexpr int max_pace = 7;

// A channel's volume since its last trigger: a start and the envelope's direction and pace (0: held).
struct Envelope {
    std::uint8_t start = 0;
    bool up = false;
    std::uint8_t pace = 0;

    // NRx2. A volume 0 going down would turn the channel's DAC off (a pop): it is written as 0 going
    // up at pace 0, which holds 0 with the DAC on.
    [[nodiscard]] std::uint8_t register_value() const {
        if (start == 0 && !up) {
            return envelope_up;
        }
        return static_cast<std::uint8_t>(static_cast<unsigned>(start) << 4U | (up ? envelope_up : 0U) | pace);
    }

    // The volume `frames` frames after the trigger. The 64 Hz steps' phase against the frames depends
    // on the console's divider, which a player sets as it likes: half a step is taken as its mean.
    [[nodiscard]] int volume_after(std::uint64_t frames) const {
        if (pace == 0) {
            return start;
        }
        const double ticks = floor_exact(static_cast<double>(frames) * envelope_hz / dmg_frame_hz + 0.5);
        const auto steps = static_cast<std::uint64_t>(ticks) / pace;
        if (up) {
            return steps >= 15U - start ? 15 : start + static_cast<int>(steps);
        }
        return steps >= start ? 0 : start - static_cast<int>(steps);
    }
};

int distance(int a, int b) { return a > b ? a - b : b - a; }

// The frames from `from` on that an envelope started there plays within `tolerance` of the wanted
// volumes. The last frame, which silences the channel, is met only by a held volume, so that no
// player's envelope phase can leave a step sounding.
std::size_t frames_met(const Envelope& e, const std::vector<std::uint8_t>& wanted, std::size_t from,
                       int tolerance) {
    std::size_t n = from;
    for (; n < wanted.size(); ++n) {
        const bool met = n + 1 == wanted.size() ? e.pace == 0 && e.start == wanted[n]
                                                : distance(e.volume_after(n - from), wanted[n]) <= tolerance;
        if (!met) {
            break;
        }
    }
    return n - from;
}

// For each frame, the NRx2 value to write with a trigger, or nothing where the channel plays on as
// triggered. A trigger starts at the wanted volume with the direction and pace that carry it furthest
// within tolerance (held, where that carries as far); tolerance 0 retriggers on every change.
std::vector<std::optional<std::uint8_t>> plan_triggers(const std::vector<std::uint8_t>& wanted, int tolerance) {
    std::vector<std::optional<std::uint8_t>> triggers(wanted.size());
    std::size_t n = 0;
    while (n < wanted.size()) {
        Envelope best{wanted[n], false, 0};
        std::size_t best_run = frames_met(best, wanted, n, tolerance);
        for (const bool up : {false, true}) {
            for (int pace = 1; pace <= max_pace && tolerance > 0; ++pace) {
                const Envelope e{wanted[n], up, static_cast<std::uint8_t>(pace)};
                const std::size_t run = frames_met(e, wanted, n, tolerance);
                if (run > best_run) {
                    best = e;
                    best_run = run;
                }
            }
        }
        triggers[n] = best.register_value();
        n += best_run == 0 ? 1 : best_run;
    }
    return triggers;
}

// The pulse period x for f = 131072 / (2048 - x), rounded and held in 1 to 2047 (0 plays as silence
// in some players).
int pulse_period(double freq_hz) {
    const double x = floor_exact(2048.0 - 131072.0 / freq_hz + 0.5);
    return x >= 2047.0 ? 2047 : x >= 1.0 ? static_cast<int>(x) : 1;  // a NaN too is 1
}

// A channel's writes for one frame: the registers from first to the trigger register, where NRx4 is
// written whenever the frame writes any of them, as the sound-effect converters keep a channel's
// writes only with its NRx4.
void write_channel(RegisterFile& registers, std::uint16_t first, const std::vector<std::uint8_t>& values,
                   std::optional<std::uint8_t> nrx2, std::uint8_t nrx4) {
    bool changed = nrx2.has_value();
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        const auto address = static_cast<std::uint16_t>(first + i);
        const bool is_volume = address == first + values.size() - 3;
        if (is_volume && nrx2) {
            registers.write(address, *nrx2, true);
        } else if (!is_volume && registers.held(address) != values[i]) {
            registers.write(address, values[i]);
            changed = true;
        }
    }
    if (changed) {
        registers.write(static_cast<std::uint16_t>(first + values.size() - 1),
                        static_cast<std::uint8_t>(nrx4 | (nrx2 ? trigger : 0U)), true);
    }
}

}  // namespace

Frames gameboy_frames(const SfxPatch& patch, double duration_s) {
    Frames frames{HardwareModel::gameboy, {}};
    const std::uint64_t count = frame_count(duration_s, dmg_frame_hz);
    if (count == 0) {
        return frames;
    }
    const std::vector<FrameTone> tones = frame_tones(patch, dmg_frame_hz, count);
    std::vector<std::uint8_t> tone_volume;
    std::vector<std::uint8_t> noise_volume;
    bool uses_noise = false;
    for (const FrameTone& t : tones) {
        tone_volume.push_back(t.volume);
        noise_volume.push_back(t.noise_on ? t.volume : 0);
        uses_noise = uses_noise || (t.noise_on && t.volume > 0);
    }
    // A pulse takes a trigger without losing its phase: it is retriggered on every change of volume,
    // as the voice changes its level. A trigger restarts the noise sequence, so noise retriggered
    // every frame would buzz at the frame rate: its level is carried by the envelope's own steps
    // within one step of the voice's, and retriggered where they stray further.
    const auto tone_triggers = plan_triggers(tone_volume, 0);
    const auto noise_triggers = plan_triggers(noise_volume, 1);
    const auto noise_control =
        static_cast<std::uint8_t>(noise_clock | (patch.noise > metallic_noise_above ? noise_short : 0));

    frames.frames.resize(static_cast<std::size_t>(count));
    RegisterFile registers(nr10, frames.frames[0]);
    registers.write(nr52, power_on);
    registers.write(nr50, full_volume);
    registers.write(nr51, every_side);
    bool tone_silent = false;  // triggered at volume 0 and held: its pitch and duty are not heard
    for (std::size_t n = 0; n < tones.size(); ++n) {
        registers.set_frame(frames.frames[n]);
        if (tone_triggers[n]) {
            tone_silent = *tone_triggers[n] == envelope_up;
        }
        const int x = pulse_period(tones[n].tone_hz);
        const auto high = static_cast<std::uint8_t>(x >> 8);
        if (tone_triggers[n] || !tone_silent) {
            write_channel(registers, nr10,
                          {sweep_off, static_cast<std::uint8_t>(tones[n].duty << 6U), 0,
                           static_cast<std::uint8_t>(x & 0xFF), high},
                          tone_triggers[n], high);
        }
        if (uses_noise) {
            write_channel(registers, nr41, {0x00, 0, noise_control, 0}, noise_triggers[n], 0);
        }
    }
    return frames;
}

}  // namespace bleepforge::voice
