#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <stdexcept>

#include "bleepforge/synth.hpp"
#include "fm_block.hpp"
#include "sample_count.hpp"
#include "stages.hpp"
#include "voice.hpp"

namespace bleepforge {
namespace {

using namespace voice;

// The first index i in [0, count] for which t = i / rate < end_s is false. t grows with i, so
// the envelope's tests become integer comparisons and t is divided out only where it is used.
std::uint64_t first_index_not_before(double end_s, double rate, std::uint64_t count) {
    auto before = [&](std::uint64_t i) { return static_cast<double>(i) / rate < end_s; };
    const double estimate = end_s * rate;
    std::uint64_t i = 0;
    if (estimate >= static_cast<double>(count)) {
        i = count;
    } else if (estimate > 0.0) {
        i = static_cast<std::uint64_t>(estimate);
    }
    while (i > 0 && !before(i - 1)) {
        --i;
    }
    while (i < count && before(i)) {
        ++i;
    }
    return i;
}

// The same level as envelope_level(shape, i / rate), dividing only where the level reads t.
inline float envelope_at(const Voice& v, const Envelope& shape, std::uint64_t i) {
    Segment segment = Segment::silent;
    if (i < v.attack_end) {
        segment = Segment::attack;
    } else if (i < v.decay_end) {
        segment = Segment::decay;
    } else if (i < v.sustain_end) {
        return level_in(shape, Segment::sustain, 0.0);
    } else if (i < v.release_end) {
        segment = Segment::release;
    } else {
        return 0.0f;
    }
    return level_in(shape, segment, static_cast<double>(i) / v.rate_hz);
}

// What a piece carries from sample to sample, loaded from the voice at its start and kept in
// the voice at its end.
struct Running {
    double freq;
    double phase;
    double mod_phase;
    std::uint32_t lfsr;
    FilterState filter;
};

inline Running running_of(const Voice& v) {
    return {v.freq_hz, v.phase, v.mod_phase, v.noise_register, FilterState{v.filter_low, v.filter_band}};
}

inline void keep_running(Voice& v, const Running& run, std::uint64_t next_sample) {
    v.next_sample = next_sample;
    v.freq_hz = run.freq;
    v.phase = run.phase;
    v.mod_phase = run.mod_phase;
    v.noise_register = run.lfsr;
    v.filter_low = run.filter.low;
    v.filter_band = run.filter.band;
}

// The generator's n samples of a block from their phases; duty_at(j) is sample j's duty.
template <Generator kGenerator, typename DutyAt>
inline void generate(const double* phases, const double* mod_phases, double fm_index, DutyAt duty_at,
                     float* voices, std::size_t n) {
    if constexpr (kGenerator == Generator::fm) {
        fm_voices(phases, mod_phases, fm_index, voices, n);
    } else {
        for (std::size_t j = 0; j < n; ++j) {
            const double cycle_pos = cycle_position(phases[j]);
            if constexpr (kGenerator == Generator::pulse) {
                voices[j] = pulse(cycle_pos, duty_at(j));
            } else if constexpr (kGenerator == Generator::stepped_triangle) {
                voices[j] = stepped_triangle(cycle_pos);
            } else if constexpr (kGenerator == Generator::saw_pulse) {
                voices[j] = saw_pulse(cycle_pos, duty_at(j));
            } else {
                voices[j] = 0.0F;
            }
        }
    }
}

// The same steps as render_sfx_reference, with every choice that the patch fixes for the whole
// render (generator, vibrato, filter) taken once, outside the loop. Samples go in blocks: first
// the recurrences (envelope, pitch, phases), then the voices, which are independent of each other
// and so can be computed side by side, then noise, filter and output, in order. The state lives in
// locals while the loop runs and goes back into the voice at the end.
template <Generator kGenerator, bool kVibrato, bool kFilter>
void render_piece(Voice& v, std::span<float> out) {
    const SfxPatch p = v.patch;  // a local copy, which the output cannot alias
    const double rate = v.rate_hz;
    const Envelope shape = make_envelope(p);
    const double slide_step = p.freq_slide / rate;
    const double vibrato_speed = two_pi * p.vibrato_rate;
    const bool noise_always = noise_on_every_sample(p);
    const std::uint64_t first = v.next_sample;

    Running run = running_of(v);
    double& freq = run.freq;
    double& phase = run.phase;
    double& mod_phase = run.mod_phase;
    std::uint32_t& lfsr = run.lfsr;
    FilterState& filter = run.filter;

    constexpr std::size_t block = 256;
    std::array<double, block> freqs;
    std::array<double, block> phases;
    std::array<double, block> mod_phases;
    std::array<float, block> envs;
    std::array<float, block> voices;

    for (std::size_t start = 0; start < out.size(); start += block) {
        const std::size_t n = std::min(block, out.size() - start);
        const std::uint64_t at = first + start;
        for (std::size_t j = 0; j < n; ++j) {
            envs[j] = envelope_at(v, shape, at + j);
            freq = slide_pitch(freq, slide_step);
            double tone_freq = freq;
            if constexpr (kVibrato) {
                const double t = static_cast<double>(at + j) / rate;
                tone_freq = freq + p.vibrato_depth * nearest_sine(t * vibrato_speed);
            }
            freqs[j] = freq;
            phases[j] = phase;
            phase = phase + (two_pi * tone_freq) / rate;
            if constexpr (kGenerator == Generator::fm) {
                mod_phases[j] = mod_phase;
                mod_phase = mod_phase + (two_pi * (p.fm_ratio * tone_freq)) / rate;
            }
        }

        generate<kGenerator>(
            phases.data(), mod_phases.data(), p.fm_index, [&](std::size_t) { return p.duty; }, voices.data(),
            n);

        for (std::size_t j = 0; j < n; ++j) {
            float voice = voices[j];
            if (noise_always || freqs[j] < noise_pitch_below_hz) {
                voice = mix_noise(voice, step_lfsr(lfsr));
            }
            if constexpr (kFilter) {
                voice = filter_sample(filter, voice, freqs[j], p.filter_cutoff, p.noise, rate);
            }
            out[start + j] = clip_sample(voice * envs[j]);
        }
    }

    keep_running(v, run, first + out.size());
}

// The whole chain of synth.hpp for a patch that uses the stages of format 2: the same blocks as
// render_piece, with the stages' choices made once per piece and their state carried in the voice.
// Its every sample is the plain reference's, step for step.
template <Generator kGenerator>
void render_piece_with_stages(Voice& v, std::span<float> out) {
    const SfxPatch p = v.patch;
    const double rate = v.rate_hz;
    const Envelope shape = make_envelope(p);
    const double sustain_div = segment_divisor(p.sustain_time);
    const double vibrato_speed = two_pi * p.vibrato_rate;
    const bool noise_always = noise_on_every_sample(p);
    const bool repeat = repeat_is_on(p);
    const bool jump1 = p.jump1_semitones != 0.0;
    const bool jump2 = p.jump2_semitones != 0.0;
    const bool duty_sweeps = p.duty_sweep != 0.0;
    const bool cutoff_sweeps = p.filter_sweep != 0.0;
    const bool highpass = highpass_is_on(p);
    const bool punch = p.punch != 0.0;
    const bool tremolo = tremolo_is_on(p);
    const bool phaser = phaser_is_on(p);
    const bool hold = downsample_is_on(p);
    const bool crush = bitcrush_is_on(p);
    const std::uint64_t first = v.next_sample;

    Running run = running_of(v);
    double& freq = run.freq;
    double& phase = run.phase;
    double& mod_phase = run.mod_phase;
    std::uint32_t& lfsr = run.lfsr;
    FilterState& filter = run.filter;

    constexpr std::size_t block = 256;
    std::array<double, block> freqs;
    std::array<double, block> phases;
    std::array<double, block> mod_phases;
    std::array<double, block> duties;
    std::array<float, block> envs;
    std::array<float, block> voices;

    for (std::size_t start = 0; start < out.size(); start += block) {
        const std::size_t n = std::min(block, out.size() - start);
        const std::uint64_t at = first + start;
        for (std::size_t j = 0; j < n; ++j) {
            const std::uint64_t i = at + j;
            if (repeat) {
                const double begun = periods_begun(i, p.repeat_rate, rate);
                if (begun != v.repeat_count) {
                    v.repeat_count = begun;
                    v.repeat_start = i;
                    freq = p.base_freq;
                    v.jump1_done = false;
                    v.jump2_done = false;
                }
            }
            const double tau = static_cast<double>(i - v.repeat_start) / rate;
            envs[j] = envelope_at(v, shape, i);
            freq = slide_pitch(freq, slide_step_at(p.freq_slide, p.freq_slide_accel, tau, rate));
            if (jump1 && !v.jump1_done && tau >= p.jump1_time) {
                freq = jumped(freq, p.jump1_semitones);
                v.jump1_done = true;
            }
            if (jump2 && !v.jump2_done && tau >= p.jump2_time) {
                freq = jumped(freq, p.jump2_semitones);
                v.jump2_done = true;
            }
            double tone_freq = freq;
            if (v.vibrato) {
                const double t = static_cast<double>(i) / rate;
                tone_freq = freq + p.vibrato_depth * nearest_sine(t * vibrato_speed);
            }
            duties[j] = duty_sweeps ? swept(p.duty, p.duty_sweep, tau, 0.0, 1.0) : p.duty;
            freqs[j] = freq;
            phases[j] = phase;
            phase = phase + (two_pi * tone_freq) / rate;
            if constexpr (kGenerator == Generator::fm) {
                mod_phases[j] = mod_phase;
                mod_phase = mod_phase + (two_pi * (p.fm_ratio * tone_freq)) / rate;
            }
        }

        generate<kGenerator>(
            phases.data(), mod_phases.data(), p.fm_index, [&](std::size_t j) { return duties[j]; },
            voices.data(), n);

        for (std::size_t j = 0; j < n; ++j) {
            const std::uint64_t i = at + j;
            const double t = static_cast<double>(i) / rate;
            float voice = voices[j];
            if (noise_always || freqs[j] < noise_pitch_below_hz) {
                voice = mix_noise(voice, step_lfsr(lfsr));
            }
            if (v.filter) {
                const double cutoff =
                    cutoff_sweeps ? swept(p.filter_cutoff, p.filter_sweep, t, 0.0, 1.0) : p.filter_cutoff;
                voice = filter_sample(filter, voice, freqs[j], cutoff, p.noise, rate);
            }
            double x = static_cast<double>(voice);
            if (highpass) {
                const double cutoff_hz = swept(p.highpass_cutoff, p.highpass_sweep, t, 0.0, highpass_max_hz);
                x = highpass_sample(v.highpass_x, v.highpass_y, x, cutoff_hz, rate);
            }
            x = x * static_cast<double>(envs[j]);
            if (punch) {
                x = x * punch_gain(shape, p.punch, t, sustain_div);
            }
            if (tremolo) {
                x = x * tremolo_gain(p.tremolo_depth, p.tremolo_rate, t);
            }
            if (phaser) {
                v.phaser_line[i % v.phaser_line.size()] = x;
                const double delay_s = swept(p.phaser_offset, p.phaser_sweep, t, 0.0, phaser_max_s);
                x = phaser_sample(v.phaser_line, i, x, delay_s * rate);
            }
            if (hold) {
                const double begun = periods_begun(i, p.downsample_rate, rate);
                if (begun != v.hold_count) {
                    v.hold_count = begun;
                    v.held = x;
                }
                x = v.held;
            }
            if (crush) {
                x = crushed(x, p.bitcrush_bits);
            }
            x = x * p.gain;
            out[start + j] = clip_sample(static_cast<float>(x));
        }
    }

    keep_running(v, run, first + out.size());
}

template <Generator kGenerator>
void render_with(Voice& v, std::span<float> out) {
    if (v.stages) {
        render_piece_with_stages<kGenerator>(v, out);
    } else if (v.vibrato && v.filter) {
        render_piece<kGenerator, true, true>(v, out);
    } else if (v.vibrato) {
        render_piece<kGenerator, true, false>(v, out);
    } else if (v.filter) {
        render_piece<kGenerator, false, true>(v, out);
    } else {
        render_piece<kGenerator, false, false>(v, out);
    }
}

}  // namespace

std::uint64_t sample_count_of(double duration_s, std::int32_t rate_hz) {
    const auto rate = static_cast<double>(rate_hz);
    const double product = duration_s * rate;
    if (!(duration_s > 0.0) || !(rate > 0.0) || !(product >= 1.0) || !std::isfinite(product)) {
        return 0;
    }
    if (product >= 0x1p64) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return static_cast<std::uint64_t>(product);
}

std::size_t buffer_length(std::uint64_t sample_count) {
    if (sample_count > std::numeric_limits<std::size_t>::max()) {
        throw std::length_error("more samples than a buffer can hold");
    }
    return static_cast<std::size_t>(sample_count);
}

Voice start_voice(const SfxPatch& patch, double duration_s, std::int32_t rate_hz) {
    Voice v;
    v.patch = patch;
    v.rate_hz = static_cast<double>(rate_hz);
    v.sample_count = sample_count_of(duration_s, rate_hz);
    v.generator = generator_of(patch);
    v.vibrato = vibrato_is_on(patch);
    v.filter = filter_is_on(patch);
    const Envelope e = make_envelope(patch);
    v.attack_end = first_index_not_before(e.attack_end, v.rate_hz, v.sample_count);
    v.decay_end = first_index_not_before(e.decay_end, v.rate_hz, v.sample_count);
    v.sustain_end = first_index_not_before(e.sustain_end, v.rate_hz, v.sample_count);
    v.release_end = first_index_not_before(e.release_end, v.rate_hz, v.sample_count);
    v.freq_hz = patch.base_freq;
    v.stages = stages_in_use(patch);
    if (phaser_is_on(patch) && v.sample_count > 0) {
        v.phaser_line.assign(phaser_line_length(v.rate_hz), 0.0);
    }
    return v;
}

std::size_t samples_left(const Voice& voice) {
    const std::uint64_t left =
        voice.next_sample < voice.sample_count ? voice.sample_count - voice.next_sample : 0;
    return left > std::numeric_limits<std::size_t>::max() ? std::numeric_limits<std::size_t>::max()
                                                          : static_cast<std::size_t>(left);
}

namespace {

// The next piece of a mix: each layer that sounds in it renders its part into a block of its own,
// and the parts are added in double, in the layers' order, starting from the first part itself.
void render_mix(Voice& mix, std::span<float> out) {
    constexpr std::size_t block = 256;
    std::array<double, block> sums;
    std::array<bool, block> sounding;
    std::array<float, block> part;
    for (std::size_t start = 0; start < out.size(); start += block) {
        const std::size_t n = std::min(block, out.size() - start);
        const std::uint64_t at = mix.next_sample + start;
        sounding.fill(false);
        for (std::size_t k = 0; k < mix.layers.size(); ++k) {
            const std::uint64_t begins = mix.layer_starts[k];
            if (begins >= at + n) {
                continue;
            }
            const std::size_t skip = begins > at ? static_cast<std::size_t>(begins - at) : 0;
            const std::size_t written = render_voice(mix.layers[k], std::span<float>(part).first(n - skip));
            for (std::size_t j = 0; j < written; ++j) {
                const double term = mix.layer_gains[k] * static_cast<double>(part[j]);
                sums[skip + j] = sounding[skip + j] ? sums[skip + j] + term : term;
                sounding[skip + j] = true;
            }
        }
        for (std::size_t j = 0; j < n; ++j) {
            out[start + j] = sounding[j] ? clip_sample(static_cast<float>(sums[j])) : 0.0f;
        }
    }
    mix.next_sample += out.size();
}

}  // namespace

Voice start_mix(std::span<const VoiceLayer> layers, std::int32_t rate_hz) {
    Voice mix;
    mix.rate_hz = static_cast<double>(rate_hz);
    for (const VoiceLayer& layer : layers) {
        Voice voice = start_voice(layer.patch, layer.duration_s, rate_hz);
        const double first = std::floor(layer.start_s * mix.rate_hz);
        const std::uint64_t begins = first >= 0.0 && first < 0x1p63 ? static_cast<std::uint64_t>(first) : 0;
        const std::uint64_t ends =
            voice.sample_count > UINT64_MAX - begins ? UINT64_MAX : begins + voice.sample_count;
        mix.sample_count = std::max(mix.sample_count, ends);
        mix.layers.push_back(std::move(voice));
        mix.layer_starts.push_back(begins);
        mix.layer_gains.push_back(layer.mix_gain);
    }
    return mix;
}

std::size_t render_voice(Voice& voice, std::span<float> out) {
    const std::span<float> piece = out.first(std::min(out.size(), samples_left(voice)));
    if (piece.empty()) {
        return 0;
    }
    if (!voice.layers.empty()) {
        render_mix(voice, piece);
        return piece.size();
    }
    switch (voice.generator) {
    case Generator::pulse:
        render_with<Generator::pulse>(voice, piece);
        break;
    case Generator::stepped_triangle:
        render_with<Generator::stepped_triangle>(voice, piece);
        break;
    case Generator::saw_pulse:
        render_with<Generator::saw_pulse>(voice, piece);
        break;
    case Generator::fm:
        render_with<Generator::fm>(voice, piece);
        break;
    case Generator::silent:
    default:  // a voice changed by hand: nothing to play
        render_with<Generator::silent>(voice, piece);
        break;
    }
    return piece.size();
}

SampleBuffer render_sfx(const SfxPatch& patch, double duration_s, std::int32_t rate_hz) {
    Voice voice = start_voice(patch, duration_s, rate_hz);
    SampleBuffer out(buffer_length(voice.sample_count));
    (void)render_voice(voice, out);
    return out;
}

}  // namespace bleepforge
