#include <cmath>
#include <vector>

#include "reference.hpp"
#include "sample_count.hpp"
#include "stages.hpp"
#include "voice.hpp"

namespace bleepforge {

// Every step of the chain in synth.hpp, in its order, one sample at a time, every choice made on
// the spot: the plainest form, which the renderer's every path must match bit for bit.
SampleBuffer render_sfx_reference(const SfxPatch& patch, double duration_s, std::int32_t rate_hz) {
    using namespace voice;
    const auto rate = static_cast<double>(rate_hz);
    const std::uint64_t sample_count = sample_count_of(duration_s, rate_hz);
    if (sample_count == 0) {
        return {};
    }
    SampleBuffer out(buffer_length(sample_count));

    const Envelope envelope = make_envelope(patch);
    const double sustain_div = segment_divisor(patch.sustain_time);

    double freq = patch.base_freq;
    double phase = 0.0;
    double mod_phase = 0.0;
    std::uint32_t lfsr = 0x7FFF;
    FilterState filter;
    double repeats = 0.0;
    std::uint64_t repeat_start = 0;
    bool jump1_done = false;
    bool jump2_done = false;
    double highpass_x[2] = {0.0, 0.0};
    double highpass_y[2] = {0.0, 0.0};
    std::vector<double> line(phaser_line_length(rate), 0.0);
    double hold_count = -1.0;
    double held = 0.0;

    for (std::uint64_t i = 0; i < sample_count; ++i) {
        const double t = static_cast<double>(i) / rate;
        if (repeat_is_on(patch)) {
            const double begun = periods_begun(i, patch.repeat_rate, rate);
            if (begun != repeats) {
                repeats = begun;
                repeat_start = i;
                freq = patch.base_freq;
                jump1_done = false;
                jump2_done = false;
            }
        }
        const double tau = static_cast<double>(i - repeat_start) / rate;

        const float env = envelope_level(envelope, t);
        freq = slide_pitch(freq, slide_step_at(patch.freq_slide, patch.freq_slide_accel, tau, rate));
        if (!jump1_done && patch.jump1_semitones != 0.0 && tau >= patch.jump1_time) {
            freq = jumped(freq, patch.jump1_semitones);
            jump1_done = true;
        }
        if (!jump2_done && patch.jump2_semitones != 0.0 && tau >= patch.jump2_time) {
            freq = jumped(freq, patch.jump2_semitones);
            jump2_done = true;
        }
        const double tone_freq =
            patch.vibrato_depth > 0.0
                ? freq + patch.vibrato_depth * nearest_sine(t * (two_pi * patch.vibrato_rate))
                : freq;
        const double duty =
            patch.duty_sweep != 0.0 ? swept(patch.duty, patch.duty_sweep, tau, 0.0, 1.0) : patch.duty;

        const double cycle_pos = cycle_position(phase);
        float voice = 0.0f;
        switch (patch.chip) {
        case ChipType::nes:
            voice = patch.freq_slide < -1000.0 ? stepped_triangle(cycle_pos) : pulse(cycle_pos, duty);
            break;
        case ChipType::gameboy:
            voice = pulse(cycle_pos, duty);
            break;
        case ChipType::sid:
            voice = saw_pulse(cycle_pos, duty);
            break;
        case ChipType::ym2612:
            voice = static_cast<float>(nearest_sine(phase + patch.fm_index * nearest_sine(mod_phase)));
            mod_phase = mod_phase + (two_pi * (patch.fm_ratio * tone_freq)) / rate;
            break;
        default:
            break;  // an unknown chip is silent
        }

        if (patch.noise > 0.25 || freq < 120.0) {
            voice = mix_noise(voice, step_lfsr(lfsr));
        }
        if (patch.filter_cutoff < 0.98 || patch.filter_sweep != 0.0) {
            const double cutoff = patch.filter_sweep != 0.0
                                      ? swept(patch.filter_cutoff, patch.filter_sweep, t, 0.0, 1.0)
                                      : patch.filter_cutoff;
            voice = filter_sample(filter, voice, freq, cutoff, patch.noise, rate);
        }

        double x = static_cast<double>(voice);
        if (highpass_is_on(patch)) {
            const double cutoff_hz =
                swept(patch.highpass_cutoff, patch.highpass_sweep, t, 0.0, highpass_max_hz);
            x = highpass_sample(highpass_x, highpass_y, x, cutoff_hz, rate);
        }
        x = x * static_cast<double>(env);
        if (patch.punch != 0.0) {
            x = x * punch_gain(envelope, patch.punch, t, sustain_div);
        }
        if (tremolo_is_on(patch)) {
            x = x * tremolo_gain(patch.tremolo_depth, patch.tremolo_rate, t);
        }
        if (phaser_is_on(patch)) {
            line[i % line.size()] = x;
            const double delay_s = swept(patch.phaser_offset, patch.phaser_sweep, t, 0.0, phaser_max_s);
            x = phaser_sample(line, i, x, delay_s * rate);
        }
        if (downsample_is_on(patch)) {
            const double begun = periods_begun(i, patch.downsample_rate, rate);
            if (begun != hold_count) {
                hold_count = begun;
                held = x;
            }
            x = held;
        }
        if (bitcrush_is_on(patch)) {
            x = crushed(x, patch.bitcrush_bits);
        }
        x = x * patch.gain;
        out[static_cast<std::size_t>(i)] = clip_sample(static_cast<float>(x));
        phase = phase + (two_pi * tone_freq) / rate;
    }
    return out;
}

}  // namespace bleepforge
