#include <cmath>

#include "reference.hpp"
#include "sample_count.hpp"
#include "voice.hpp"

namespace bleepforge {

SampleBuffer render_sfx_reference(const SfxPatch& patch, double duration_s, std::int32_t rate_hz) {
    using namespace voice;
    const auto rate = static_cast<double>(rate_hz);
    const std::uint64_t sample_count = sample_count_of(duration_s, rate_hz);
    if (sample_count == 0) {
        return {};
    }
    SampleBuffer out(buffer_length(sample_count));

    const Envelope envelope = make_envelope(patch);
    const double slide_step = patch.freq_slide / rate;
    const bool use_triangle = patch.chip == ChipType::nes && patch.freq_slide < -1000.0;

    double freq = patch.base_freq;
    double phase = 0.0;
    double mod_phase = 0.0;
    std::uint32_t lfsr = 0x7FFF;
    FilterState filter;

    for (std::uint64_t i = 0; i < sample_count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const float env = envelope_level(envelope, t);
        freq = slide_pitch(freq, slide_step);
        const double tone_freq =
            patch.vibrato_depth > 0.0
                ? freq + patch.vibrato_depth * std::sin(t * (two_pi * patch.vibrato_rate))
                : freq;

        const double cycle_pos = cycle_position(phase);
        float voice = 0.0f;
        switch (patch.chip) {
        case ChipType::nes:
            voice = use_triangle ? stepped_triangle(cycle_pos) : pulse(cycle_pos, patch.duty);
            break;
        case ChipType::gameboy:
            voice = pulse(cycle_pos, patch.duty);
            break;
        case ChipType::sid:
            voice = saw_pulse(cycle_pos, patch.duty);
            break;
        case ChipType::ym2612:
            voice = static_cast<float>(std::sin(phase + patch.fm_index * std::sin(mod_phase)));
            mod_phase = mod_phase + (two_pi * (patch.fm_ratio * tone_freq)) / rate;
            break;
        default:
            break;  // an unknown chip is silent
        }

        if (patch.noise > 0.25 || freq < 120.0) {
            voice = mix_noise(voice, step_lfsr(lfsr));
        }
        if (patch.filter_cutoff < 0.98) {
            voice = filter_sample(filter, voice, freq, patch.filter_cutoff, patch.noise, rate);
        }
        out[static_cast<std::size_t>(i)] = clip_sample(voice * env);
        phase = phase + (two_pi * tone_freq) / rate;
    }
    return out;
}

}  // namespace bleepforge
