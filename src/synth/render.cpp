#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "bleepforge/synth.hpp"
#include "fm_block.hpp"
#include "reference.hpp"
#include "voice.hpp"

namespace bleepforge {
namespace {

using namespace voice;

enum class Generator { pulse, triangle, saw_pulse, fm, silent };

// The first index i in [0, count] for which t = i / rate < end_s is false. t grows with i, so
// the envelope's tests become integer comparisons and t is divided out only where it is used.
std::size_t first_index_not_before(double end_s, double rate, std::size_t count) {
    auto before = [&](std::size_t i) { return static_cast<double>(i) / rate < end_s; };
    const double estimate = end_s * rate;
    std::size_t i = 0;
    if (estimate >= static_cast<double>(count)) {
        i = count;
    } else if (estimate > 0.0) {
        i = static_cast<std::size_t>(estimate);
    }
    while (i > 0 && !before(i - 1)) {
        --i;
    }
    while (i < count && before(i)) {
        ++i;
    }
    return i;
}

// The envelope's segment ends as sample indices, for one render.
struct EnvelopeSpans {
    Envelope shape;
    std::size_t attack_end, decay_end, sustain_end, release_end;
};

EnvelopeSpans make_spans(const SfxPatch& p, double rate, std::size_t count) {
    const Envelope e = make_envelope(p);
    return {e, first_index_not_before(e.attack_end, rate, count),
            first_index_not_before(e.decay_end, rate, count),
            first_index_not_before(e.sustain_end, rate, count),
            first_index_not_before(e.release_end, rate, count)};
}

// The same level as envelope_level(shape, i / rate), dividing only where the level reads t.
inline float envelope_at(const EnvelopeSpans& s, std::size_t i, double rate) {
    Segment segment = Segment::silent;
    if (i < s.attack_end) {
        segment = Segment::attack;
    } else if (i < s.decay_end) {
        segment = Segment::decay;
    } else if (i < s.sustain_end) {
        return level_in(s.shape, Segment::sustain, 0.0);
    } else if (i < s.release_end) {
        segment = Segment::release;
    } else {
        return 0.0f;
    }
    return level_in(s.shape, segment, static_cast<double>(i) / rate);
}

// The same steps as render_sfx_reference, with every choice that the patch fixes for the whole
// render (generator, vibrato, filter) taken once, outside the loop. Samples go in blocks: first
// the recurrences (envelope, pitch, phases), then the voices, which are independent of each other
// and so can be computed side by side, then noise, filter and output, in order.
template <Generator kGenerator, bool kVibrato, bool kFilter>
void render_into(const SfxPatch& patch, double rate, std::span<float> out) {
    const SfxPatch p = patch;  // a local copy, which the output cannot alias
    const EnvelopeSpans envelope = make_spans(p, rate, out.size());
    const double slide_step = p.freq_slide / rate;
    const double vibrato_speed = two_pi * p.vibrato_rate;
    const bool noise_always = p.noise > 0.25;

    double freq = p.base_freq;
    double phase = 0.0;
    double mod_phase = 0.0;
    std::uint32_t lfsr = 0x7FFF;
    FilterState filter;

    constexpr std::size_t block = 256;
    std::array<double, block> freqs;
    std::array<double, block> phases;
    std::array<double, block> mod_phases;
    std::array<float, block> envs;
    std::array<float, block> voices;

    for (std::size_t start = 0; start < out.size(); start += block) {
        const std::size_t n = std::min(block, out.size() - start);
        for (std::size_t j = 0; j < n; ++j) {
            envs[j] = envelope_at(envelope, start + j, rate);
            freq = slide_pitch(freq, slide_step);
            double tone_freq = freq;
            if constexpr (kVibrato) {
                const double t = static_cast<double>(start + j) / rate;
                tone_freq = freq + p.vibrato_depth * std::sin(t * vibrato_speed);
            }
            freqs[j] = freq;
            phases[j] = phase;
            phase = phase + (two_pi * tone_freq) / rate;
            if constexpr (kGenerator == Generator::fm) {
                mod_phases[j] = mod_phase;
                mod_phase = mod_phase + (two_pi * (p.fm_ratio * tone_freq)) / rate;
            }
        }

        if constexpr (kGenerator == Generator::fm) {
            fm_voices(phases.data(), mod_phases.data(), p.fm_index, voices.data(), n);
        } else {
            for (std::size_t j = 0; j < n; ++j) {
                const double cycle_pos = cycle_position(phases[j]);
                if constexpr (kGenerator == Generator::pulse) {
                    voices[j] = pulse(cycle_pos, p.duty);
                } else if constexpr (kGenerator == Generator::triangle) {
                    voices[j] = stepped_triangle(cycle_pos);
                } else if constexpr (kGenerator == Generator::saw_pulse) {
                    voices[j] = saw_pulse(cycle_pos, p.duty);
                } else {
                    voices[j] = 0.0F;
                }
            }
        }

        for (std::size_t j = 0; j < n; ++j) {
            float voice = voices[j];
            if (noise_always || freqs[j] < 120.0) {
                voice = mix_noise(voice, step_lfsr(lfsr));
            }
            if constexpr (kFilter) {
                voice = filter_sample(filter, voice, freqs[j], p.filter_cutoff, p.noise, rate);
            }
            out[start + j] = clip_sample(voice * envs[j]);
        }
    }
}

template <Generator kGenerator>
void render_with(const SfxPatch& p, double rate, std::span<float> out) {
    const bool vibrato = p.vibrato_depth > 0.0;
    const bool filter = p.filter_cutoff < 0.98;
    if (vibrato && filter) {
        render_into<kGenerator, true, true>(p, rate, out);
    } else if (vibrato) {
        render_into<kGenerator, true, false>(p, rate, out);
    } else if (filter) {
        render_into<kGenerator, false, true>(p, rate, out);
    } else {
        render_into<kGenerator, false, false>(p, rate, out);
    }
}

}  // namespace

SampleBuffer render_sfx(const SfxPatch& patch, double duration_s, std::int32_t rate_hz) {
    const std::uint64_t sample_count = sample_count_of(duration_s, rate_hz);
    if (sample_count == 0) {
        return {};
    }
    SampleBuffer out(buffer_length(sample_count));
    const auto rate = static_cast<double>(rate_hz);
    switch (patch.chip) {
    case ChipType::nes:
        if (patch.freq_slide < -1000.0) {
            render_with<Generator::triangle>(patch, rate, out);
        } else {
            render_with<Generator::pulse>(patch, rate, out);
        }
        break;
    case ChipType::gameboy:
        render_with<Generator::pulse>(patch, rate, out);
        break;
    case ChipType::sid:
        render_with<Generator::saw_pulse>(patch, rate, out);
        break;
    case ChipType::ym2612:
        render_with<Generator::fm>(patch, rate, out);
        break;
    default:
        render_with<Generator::silent>(patch, rate, out);
        break;
    }
    return out;
}

}  // namespace bleepforge
