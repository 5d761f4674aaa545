#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "bleepforge/catalogue.hpp"

namespace bleepforge {

// Mono samples, one float per sample, each in [-1, 1].
using SampleBuffer = std::vector<float>;

// The renderer's decisions that a patch fixes for a whole render. Other layers (the variations,
// the studio) ask these rather than repeat the numbers.

// A filter_cutoff at or above this bypasses the low-pass filter.
inline constexpr double filter_bypass_cutoff = 0.98;
// A noise amount above this mixes noise into every sample ...
inline constexpr double noise_every_sample_above = 0.25;
// ... else noise is mixed only while the pitch is below this.
inline constexpr double noise_pitch_below_hz = 120.0;
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

[[nodiscard]] constexpr bool filter_is_on(const SfxPatch& patch) {
    return patch.filter_cutoff < filter_bypass_cutoff;
}
[[nodiscard]] constexpr bool noise_on_every_sample(const SfxPatch& patch) {
    return patch.noise > noise_every_sample_above;
}
[[nodiscard]] constexpr bool vibrato_is_on(const SfxPatch& patch) {
    return patch.vibrato_depth > 0.0;
}

// A render in progress: everything it needs between two calls of render_voice, so a game can pull
// a sound a few hundred samples at a time from its audio callback. A plain value: a copy goes on
// independently from the same point. Set up by start_voice; read only through the functions below.
struct Voice {
    // Fixed for the whole render.
    SfxPatch patch{};
    double rate_hz = 0.0;
    std::uint64_t sample_count = 0;  // samples in the whole render
    Generator generator = Generator::silent;
    bool vibrato = false;
    bool filter = false;
    // The envelope's segment ends, as the indices of their first samples.
    std::uint64_t attack_end = 0;
    std::uint64_t decay_end = 0;
    std::uint64_t sustain_end = 0;
    std::uint64_t release_end = 0;

    // What changes from sample to sample.
    std::uint64_t next_sample = 0;  // the index of the next sample render_voice writes
    double freq_hz = 0.0;           // the pitch before vibrato, after the last sample's slide
    double phase = 0.0;             // radians, of the carrier
    double mod_phase = 0.0;         // radians, of the FM modulator
    std::uint32_t noise_register = 0x7FFF;
    double filter_low = 0.0;
    double filter_band = 0.0;
};

// A voice at the start of a render of the patch for duration_s seconds at rate_hz. It holds
// duration_s * rate_hz samples, truncated toward zero; a product below 1, negative or not finite
// gives a voice with none.
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
