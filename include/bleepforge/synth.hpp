#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "bleepforge/catalogue.hpp"
#include "bleepforge/hardware.hpp"

namespace bleepforge {

// Mono samples, one float per sample, each in [-1, 1].
using SampleBuffer = std::vector<float>;

// The renderer's decisions that a patch fixes for a whole render. Other layers (the variations,
// the studio) ask these rather than repeat the numbers.

// A filter_cutoff at or above this bypasses the low-pass filter.
inline constexpr double filter_bypass_cutoff = 0.98;
// A noise amount above this mixes noise into every sample, else noise is mixed only while the pitch is
// below the patch's noise_below_hz (120 Hz unless set).
inline constexpr double noise_every_sample_above = 0.25;
// On the nes voice a slide steeper (more negative) than this plays the stepped triangle.
inline constexpr double triangle_slide_below = -1000.0;

// The waveform a patch plays: a pulse (nes, gameboy), the nes's stepped triangle, the SID's saw
// plus pulse, two-operator FM (ym2612), or nothing (a chip outside the enumeration).
enum class Generator : std::int32_t { pulse, stepped_triangle, saw_pulse, fm, silent };

[[nodiscard]] constexpr Generator generator_of(const SfxPatch& patch) {
    switch (patch.chip) {
    case ChipType::nes:
        return patch.freq_slide < triangle_slide_below ? Generator::stepped_triangle : Generator::pulse;
    case ChipType::gameboy:
        return Generator::pulse;
    case ChipType::sid:
        return Generator::saw_pulse;
    case ChipType::ym2612:
        return Generator::fm;
    }
    return Generator::silent;
}

// Whether the generator reads duty (the pulse voices) or the FM members.
[[nodiscard]] constexpr bool uses_duty(Generator generator) {
    return generator == Generator::pulse || generator == Generator::saw_pulse;
}
[[nodiscard]] constexpr bool uses_fm(Generator generator) {
    return generator == Generator::fm;
}

// The low-pass runs from a cutoff below the bypass, or whenever its cutoff sweeps.
[[nodiscard]] constexpr bool filter_is_on(const SfxPatch& patch) {
    return patch.filter_cutoff < filter_bypass_cutoff || patch.filter_sweep != 0.0;
}
[[nodiscard]] constexpr bool noise_on_every_sample(const SfxPatch& patch) {
    return patch.noise > noise_every_sample_above;
}
[[nodiscard]] constexpr bool vibrato_is_on(const SfxPatch& patch) {
    return patch.vibrato_depth > 0.0;
}

// The stages of format 2, each on only where it can change the sound.
[[nodiscard]] constexpr bool repeat_is_on(const SfxPatch& patch) {
    return patch.repeat_rate > 0.0 && patch.repeat_rate <= std::numeric_limits<double>::max();
}
[[nodiscard]] constexpr bool highpass_is_on(const SfxPatch& patch) {
    return patch.highpass_cutoff > 0.0 || patch.highpass_sweep > 0.0;
}
[[nodiscard]] constexpr bool phaser_is_on(const SfxPatch& patch) {
    return patch.phaser_offset > 0.0 || patch.phaser_sweep > 0.0;
}
[[nodiscard]] constexpr bool tremolo_is_on(const SfxPatch& patch) {
    return patch.tremolo_depth != 0.0;
}
[[nodiscard]] constexpr bool downsample_is_on(const SfxPatch& patch) {
    return patch.downsample_rate > 0.0;
}
[[nodiscard]] constexpr bool bitcrush_is_on(const SfxPatch& patch) {
    return patch.bitcrush_bits < 16.0;
}
// Whether any stage of format 2 is in use: a patch without one renders as the original voice, by
// its own steps.
[[nodiscard]] constexpr bool stages_in_use(const SfxPatch& p) {
    return p.freq_slide_accel != 0.0 || p.jump1_semitones != 0.0 || p.jump2_semitones != 0.0 ||
           repeat_is_on(p) || p.duty_sweep != 0.0 || p.punch != 0.0 || p.filter_sweep != 0.0 ||
           highpass_is_on(p) || phaser_is_on(p) || tremolo_is_on(p) || downsample_is_on(p) ||
           bitcrush_is_on(p) || p.gain != 1.0;
}

// The range a stage's sweep holds its value in.
inline constexpr double highpass_max_hz = 20000.0;
inline constexpr double swept_duty_min = 0.05;  // a swept duty stays where the pulse sounds
inline constexpr double swept_duty_max = 0.95;
inline constexpr double phaser_max_s = 0.02;

// The chain, per sample i at t = i / rate, with tau the time since the start or the last repeat:
//  1. Repeat: where floor(i * repeat_rate / rate) grows, tau starts again from 0, the pitch from
//     base_freq, and the jumps wait again (the envelope, vibrato and sweeps go on).
//  2. Pitch: freq += (freq_slide + freq_slide_accel * tau) / rate, held in 20 to 20000 Hz; then at
//     the first sample with tau >= jump1_time (and jump1_semitones not 0) freq *= 2^(n/12) from a
//     table of the 49 correctly rounded ratios for n = -24 ... 24, held in the band again; then the
//     same for jump 2. Vibrato adds vibrato_depth * sin(2 pi vibrato_rate t) to the tone's pitch.
//  3. Generator: its cycle position from the phase, with duty + duty_sweep * tau held in 0.05 to 0.95
//     (where the pulse still sounds) where duty_sweep is not 0.
//  4. Noise, as the original voice mixes it, with noise_below_hz in place of its 120 Hz.
//  5. Low-pass: the original filter, with filter_cutoff + filter_sweep * t held in [0, 1] as its
//     factor where filter_sweep is not 0.
//  6. High-pass: two one-pole stages y = a (y' + x - x'), a = 1 / (1 + 2 pi fc / rate), with fc =
//     highpass_cutoff + highpass_sweep * t held in 0 to 20000 Hz. From here on in double.
//  7. Envelope, punch, tremolo: times the envelope level; during the attack also times 1 + 2 punch,
//     during the decay times 1 + 2 punch (1 - (t - attack) / decay), falling to 1; times
//     1 - tremolo_depth (1 + sin(2 pi (frac(tremolo_rate t) - 1/4))) / 2, from 1 down to 1 - depth.
//  8. Phaser: y = x / 2 + d / 2, d the signal delayed by D = (phaser_offset + phaser_sweep * t) held
//     in 0 to 0.02 s, times rate, read between the two nearest samples linearly (0 before the start).
//  9. Sample-and-hold: the value is taken where floor(i * downsample_rate / rate) grows (and at the
//     first sample) and held between.
// 10. Bit crush: x = k / 2^(b-1), k = x 2^(b-1) rounded half away from zero and held in -2^(b-1) ...
//     2^(b-1), for b = bitcrush_bits below 16: 2^b steps of [-1, 1], symmetric, silence kept.
// 11. Gain: times gain. 12. The clip to [-1, 1] as a float (a NaN gives 0).
// Sines come from the renderer's own sines (nearest_sine, and the polynomial of the tremolo), so they are
// the same everywhere.
// With every stage neutral the steps are exactly the original voice's.

// Whether the chip's console has a model of its sound unit, through which a patch made for the
// hardware plays: the nes and the gameboy.
[[nodiscard]] constexpr bool has_hardware_model(ChipType chip) {
    return chip == ChipType::nes || chip == ChipType::gameboy;
}

// A patch made for the hardware, reduced to the frames that play it for duration_s seconds: one for
// each video frame that begins before the end, the last of them silencing the channels. On the nes,
// per frame n at t = n / nes_frame_hz, with the stages stepped once a frame as at that rate:
//  - The tone on pulse 1 ($4000-$4003), or on the triangle ($4008-$400B) where the voice plays its
//    stepped triangle. f is the pitch with vibrato; the period t = round(1789773 / (16 f) - 1) held
//    in 8 to 2047 for the pulse, t = round(1789773 / (32 f) - 1) held in 2 to 2047 for the triangle;
//    $4003 and $400B are written only when t's high bits change (the write restarts the pulse's
//    phase); $4001 = $08 (no sweep, and no low note muted); the duty the nearest of 12.5, 25, 50
//    and 75 %.
//  - The level L = envelope x punch x tremolo x gain, as the constant volume round(15 L) held in
//    0 to 15 ($30 | volume: length counter halted); the triangle, which has no volume, sounds
//    ($4008 = $FF) while that volume is above 0 and stops ($80) at 0.
//  - Noise on the noise channel ($400C-$400F) on the frames the voice mixes noise (noise above
//    0.25, or the pitch below noise_below_hz), at the same volume; period index 3 (a 55930 Hz clock), the
//    nearest of the 16 to the 44100 Hz the voice steps its noise register at; mode 1 (the 93-step
//    "metallic" sequence) where noise is above 0.75, where the voice's filter would ring, else 0.
//  - The first frame enables the channels used ($4015) before any other write; after it a register
//    is written only when its value changes; the last frame sets every volume to 0.
// On the gameboy, frames at dmg_frame_hz (59.7275 a second), the stages stepped as on the nes:
//  - The unit switched on (NR52 = $80) before any other write, both sides at full volume (NR50 =
//    $77) with every channel on both (NR51 = $FF), pulse 1's sweep off (NR10 = $00).
//  - The tone on pulse 1 ($FF10-$FF14): x = round(2048 - 131072 / f) held in 1 to 2047; the duty
//    the nearest of 12.5, 25, 50 and 75 % (NR11 bits 7-6); NR14 (the period's high bits, bit 7 for
//    a trigger) written in every frame that writes any of NR10-NR13, as the sound-effect converters
//    keep a channel's writes only with it.
//  - Volumes as on the nes, round(15 L). The channel takes a new volume only on a trigger, which
//    loads NRx2's: the pulse, whose phase a trigger keeps, is retriggered on every change of volume.
//    A trigger restarts the noise sequence, so the noise level is carried by the envelope's own
//    64 Hz steps (NR42's direction and pace, chosen at each trigger to follow the voice furthest)
//    while they stay within one step of the voice's, and retriggered where they would stray further.
//    Volume 0 is written $08 (going up at pace 0): silent, with the channel's DAC on, so no pop.
//    While the pulse is silent its pitch and duty are not written.
//  - Noise on the noise channel ($FF20-$FF23) on the frames the voice mixes it, at the same volume;
//    the clock 262144 / (3 x 2) = 43691 Hz (NR43 = $13), the nearest to the voice's 44100 Hz; the
//    7-bit sequence ($1B) where noise is above 0.75.
//  - Within a channel, writes in the registers' order; the last frame leaves each channel used
//    triggered at volume 0.
// The low-pass, high-pass, phaser, sample-and-hold, bit crush and FM have no hardware and play no
// part. Empty where the chip has no model or duration_s holds no frame.
[[nodiscard]] Frames hardware_frames(const SfxPatch& patch, double duration_s);

// A render in progress: everything it needs between two calls of render_voice, so a game can pull
// a sound a few hundred samples at a time from its audio callback. A value: a copy goes on
// independently from the same point, and a moved-from or default voice has no samples. Its state is
// the renderer's own (each stage's unit); set up by start_voice or start_mix and read only through
// the functions below.
class Voice {
public:
    struct State;  // complete only inside the renderer

    Voice() noexcept;
    ~Voice();
    Voice(const Voice& other);
    Voice(Voice&& other) noexcept;
    Voice& operator=(const Voice& other);
    Voice& operator=(Voice&& other) noexcept;

    explicit Voice(std::unique_ptr<State> state) noexcept;
    [[nodiscard]] State* state() noexcept { return state_.get(); }
    [[nodiscard]] const State* state() const noexcept { return state_.get(); }

private:
    std::unique_ptr<State> state_;
};

// One layer of a mix: a patch for its own duration, from start_s on, scaled by mix_gain.
struct VoiceLayer {
    SfxPatch patch;
    double duration_s = 0.5;
    double start_s = 0.0;
    double mix_gain = 1.0;
};

// A voice that mixes layers. Each layer begins at floor(start_s * rate_hz) (0 where that is not a
// finite count at or above 0) and holds its own render's samples; the mix lasts until the last
// layer ends. Sample i is the sum, in the layers' order and in double, of mix_gain times each
// sounding layer's float sample, narrowed to float and clipped to [-1, 1]; where no layer sounds it
// is 0. So one layer from 0 with a mix_gain of 1 gives exactly its own samples.
[[nodiscard]] Voice start_mix(std::span<const VoiceLayer> layers, std::int32_t rate_hz);

// A voice at the start of a render of the patch for duration_s seconds at rate_hz. It holds
// duration_s * rate_hz samples, truncated toward zero; a product below 1, negative or not finite
// gives a voice with none. A patch made for the hardware on a chip with a model plays its frames
// (hardware_frames) through the console's model (bleepforge/nes.hpp), which renders at 8000 to
// 192000 Hz: at any other rate its voice has no samples.
[[nodiscard]] Voice start_voice(const SfxPatch& patch, double duration_s, std::int32_t rate_hz);

// Writes the voice's next min(out.size(), samples_left(voice)) samples into out, each in [-1, 1],
// advances the voice past them and returns how many it wrote: 0 once the voice is done. However a
// render is split into calls, the samples are the same, bit for bit. Allocates nothing, takes no
// lock, never throws and never prints, so an audio callback may call it.
std::size_t render_voice(Voice& voice, std::span<float> out);

// The samples the voice has yet to write (at most SIZE_MAX, which only a 32-bit build can reach).
[[nodiscard]] std::size_t samples_left(const Voice& voice);

// Renders a patch for duration_s seconds at rate_hz samples per second: start_voice, then one
// render_voice into a buffer sized once. Deterministic: the same arguments always give the same
// bytes. Never prints. The one limit is memory: a sample count beyond what a SampleBuffer can hold
// raises the container's std::length_error (or std::bad_alloc when memory runs out), as a
// container does; a voice renders any count in pieces.
[[nodiscard]] SampleBuffer render_sfx(const SfxPatch& patch, double duration_s, std::int32_t rate_hz);

}  // namespace bleepforge
