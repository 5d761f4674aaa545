#include <cmath>
#include <vector>

#include "reference.hpp"
#include "sample_count.hpp"
#include "units.hpp"
#include "voice.hpp"

namespace bleepforge {

namespace {

// The chip's waveform at this phase; the FM voice steps its modulator on.
float chip_voice(const SfxPatch& patch, double phase, double duty, double tone_freq, double rate,
                 double& mod_phase) {
    using namespace voice;
    const double cycle_pos = cycle_position(phase);
    switch (patch.chip) {
    case ChipType::nes:
        return patch.freq_slide < -1000.0 ? stepped_triangle(cycle_pos) : pulse(cycle_pos, duty);
    case ChipType::gameboy:
        return pulse(cycle_pos, duty);
    case ChipType::sid:
        return saw_pulse(cycle_pos, duty);
    case ChipType::ym2612: {
        const auto out = static_cast<float>(nearest_sine(phase + patch.fm_index * nearest_sine(mod_phase)));
        mod_phase = mod_phase + (two_pi * (patch.fm_ratio * tone_freq)) / rate;
        return out;
    }
    default:
        return 0.0f;  // an unknown chip is silent
    }
}

}  // namespace

// Every step of the chain in synth.hpp, in its order, one sample at a time, every choice of the
// original voice's own steps made on the spot and the stages' units stepped where any is in use: the plainest
// form, which the renderer's every path must match bit for bit.
SampleBuffer render_sfx_reference(const SfxPatch& patch, double duration_s, std::int32_t rate_hz) {
    using namespace voice;
    const auto rate = static_cast<double>(rate_hz);
    const std::uint64_t sample_count = sample_count_of(duration_s, rate_hz);
    if (sample_count == 0) {
        return {};
    }
    SampleBuffer out(buffer_length(sample_count));

    const Envelope envelope = make_envelope(patch);
    const bool stages = stages_in_use(patch);
    PitchStages tone(patch, rate);
    SignalStages signal(patch, rate, sample_count);
    std::vector<double> ring(signal.ring_length(sample_count), 0.0);

    double freq = patch.base_freq;
    double phase = 0.0;
    double mod_phase = 0.0;
    std::uint32_t lfsr = 0x7FFF;
    FilterState filter;

    for (std::uint64_t i = 0; i < sample_count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const float env = envelope_level(envelope, t);
        double tone_freq = 0.0;
        double duty = patch.duty;
        if (stages) {
            const Tone stepped = tone.step({i, static_cast<double>(i), t});
            freq = stepped.freq_hz;
            tone_freq = stepped.tone_hz;
            duty = stepped.duty;
        } else {
            freq = slide_pitch(freq, patch.freq_slide / rate);
            tone_freq = patch.vibrato_depth > 0.0
                            ? freq + patch.vibrato_depth * nearest_sine(t * (two_pi * patch.vibrato_rate))
                            : freq;
        }

        float voice = chip_voice(patch, phase, duty, tone_freq, rate, mod_phase);

        if (stages) {
            out[static_cast<std::size_t>(i)] =
                signal.step(voice, freq, env, {i, static_cast<double>(i), t}, ring);
        } else {
            if (patch.noise > 0.25 || freq < patch.noise_below_hz) {
                voice = mix_noise(voice, step_lfsr(lfsr));
            }
            if (patch.filter_cutoff < 0.98) {
                voice = filter_sample(filter, voice, freq, patch.filter_cutoff, filter_damping(patch.noise),
                                      rate);
            }
            out[static_cast<std::size_t>(i)] = clip_sample(voice * env);
        }
        phase = phase + (two_pi * tone_freq) / rate;
    }
    return out;
}

}  // namespace bleepforge
