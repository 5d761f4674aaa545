#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <stdexcept>
#include <type_traits>
#include <variant>

#include "bleepforge/synth.hpp"
#include "fm_block.hpp"
#include "sample_count.hpp"
#include "units.hpp"
#include "voice.hpp"
#include "voice_state.hpp"

namespace bleepforge {

namespace voice {

std::uint64_t first_index_not_before(double end_s, double rate_hz, std::uint64_t count) {
    // t grows with i, so the estimate needs at most a step or two either way.
    auto before = [&](std::uint64_t i) { return static_cast<double>(i) / rate_hz < end_s; };
    const double estimate = end_s * rate_hz;
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

}  // namespace voice

namespace {

using namespace voice;

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

constexpr std::size_t block = 256;

// A block's samples before the generator: the envelope's levels, the pitches and both phases.
struct Block {
    std::array<double, block> freqs;
    std::array<double, block> phases;
    std::array<double, block> mod_phases;
    std::array<double, block> duties;
    std::array<double, block> times;
    std::array<float, block> envs;
    std::array<float, block> voices;
};

// What a piece carries from sample to sample, copied out of the voice at its start and back at its
// end: locals the compiler keeps in registers, which stores to the output cannot alias.
struct Running {
    PitchStages tone;
    SignalStages signal;
    double phase;
    double mod_phase;
};

inline Running take_running(Voice::State& v) {
    return {v.tone, v.signal, v.phase, v.mod_phase};
}

inline void keep_running(Voice::State& v, Running& run, std::uint64_t next_sample) {
    v.tone = run.tone;
    v.signal = run.signal;
    v.phase = run.phase;
    v.mod_phase = run.mod_phase;
    v.next_sample = next_sample;
}

// The phases of one sample: the carrier's (and the modulator's) as the sample reads them, then each
// advanced by the tone's pitch.
template <Generator kGenerator>
inline void advance_phases(Running& run, Block& b, std::size_t j, double tone_hz, double fm_ratio,
                           double rate_hz) {
    b.phases[j] = run.phase;
    run.phase = run.phase + (two_pi * tone_hz) / rate_hz;
    if constexpr (kGenerator == Generator::fm) {
        b.mod_phases[j] = run.mod_phase;
        run.mod_phase = run.mod_phase + (two_pi * (fm_ratio * tone_hz)) / rate_hz;
    }
}

// The original voice's steps, with every choice that the patch fixes for the whole render (generator,
// vibrato, filter) taken once, outside the loop. Samples go in blocks: first the recurrences
// (envelope, pitch, phases), then the voices, which are independent of each other and so can be
// computed side by side, then noise, filter and output, in order.
template <Generator kGenerator, bool kVibrato, bool kFilter>
void render_piece(Voice::State& v, std::span<float> out) {
    const double slide_step = v.patch.freq_slide / v.rate_hz;
    const double duty = v.patch.duty;
    const double fm_ratio = v.patch.fm_ratio;
    const double fm_index = v.patch.fm_index;
    const double rate_hz = v.rate_hz;
    const std::uint64_t first = v.next_sample;
    Running run = take_running(v);
    Block b;
    for (std::size_t start = 0; start < out.size(); start += block) {
        const std::size_t n = std::min(block, out.size() - start);
        const std::uint64_t at = first + start;
        const auto first_index = static_cast<double>(at);  // j below 256 adds exactly
        for (std::size_t j = 0; j < n; ++j) {
            const double index = first_index + static_cast<double>(j);
            const Tick tick{at + j, index, index / rate_hz};
            b.envs[j] = run.signal.envelope(tick);
            const Tone tone = run.tone.design_step<kVibrato>(tick, slide_step);
            b.freqs[j] = tone.freq_hz;
            advance_phases<kGenerator>(run, b, j, tone.tone_hz, fm_ratio, rate_hz);
        }
        generate<kGenerator>(
            b.phases.data(), b.mod_phases.data(), fm_index, [&](std::size_t) { return duty; },
            b.voices.data(), n);
        for (std::size_t j = 0; j < n; ++j) {
            out[start + j] = run.signal.design_step<kFilter>(b.voices[j], b.freqs[j], b.envs[j]);
        }
    }
    keep_running(v, run, first + out.size());
}

// The whole chain of synth.hpp for a patch that uses the stages of format 2: the same blocks, each
// stage's unit stepped per sample. Its every sample is the plain reference's, step for step.
template <Generator kGenerator>
void render_piece_with_stages(Voice::State& v, std::span<float> out) {
    const double fm_ratio = v.patch.fm_ratio;
    const double fm_index = v.patch.fm_index;
    const double rate_hz = v.rate_hz;
    const std::uint64_t first = v.next_sample;
    Running run = take_running(v);
    Block b;
    for (std::size_t start = 0; start < out.size(); start += block) {
        const std::size_t n = std::min(block, out.size() - start);
        const std::uint64_t at = first + start;
        const auto first_index = static_cast<double>(at);  // j below 256 adds exactly
        for (std::size_t j = 0; j < n; ++j) {
            const double index = first_index + static_cast<double>(j);
            const Tick tick{at + j, index, index / rate_hz};
            b.times[j] = tick.t_s;
            b.envs[j] = run.signal.envelope(tick);
            const Tone tone = run.tone.step(tick);
            b.duties[j] = tone.duty;
            b.freqs[j] = tone.freq_hz;
            advance_phases<kGenerator>(run, b, j, tone.tone_hz, fm_ratio, rate_hz);
        }
        generate<kGenerator>(
            b.phases.data(), b.mod_phases.data(), fm_index, [&](std::size_t j) { return b.duties[j]; },
            b.voices.data(), n);
        for (std::size_t j = 0; j < n; ++j) {
            const Tick tick{at + j, first_index + static_cast<double>(j), b.times[j]};
            out[start + j] = run.signal.step(b.voices[j], b.freqs[j], b.envs[j], tick, v.phaser_ring);
        }
    }
    keep_running(v, run, first + out.size());
}

template <Generator kGenerator>
void render_with(Voice::State& v, std::span<float> out) {
    const bool vibrato = vibrato_is_on(v.patch);
    const bool filter = filter_is_on(v.patch);
    if (v.stages) {
        render_piece_with_stages<kGenerator>(v, out);
    } else if (vibrato && filter) {
        render_piece<kGenerator, true, true>(v, out);
    } else if (vibrato) {
        render_piece<kGenerator, true, false>(v, out);
    } else if (filter) {
        render_piece<kGenerator, false, true>(v, out);
    } else {
        render_piece<kGenerator, false, false>(v, out);
    }
}

// The next piece of a mix: each layer that sounds in it renders its part into a block of its own,
// and the parts are added in double, in the layers' order, starting from the first part itself.
void render_mix(Voice::State& mix, std::span<float> out) {
    constexpr std::size_t mix_block = 4 * block;  // fewer calls into each layer's voice
    std::array<double, mix_block> sums;
    std::array<bool, mix_block> sounding;
    std::array<float, mix_block> part;
    for (std::size_t start = 0; start < out.size(); start += mix_block) {
        const std::size_t n = std::min(mix_block, out.size() - start);
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

Voice::Voice() noexcept = default;
Voice::~Voice() = default;
Voice::Voice(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}
Voice::Voice(const Voice& other) : state_(other.state_ ? std::make_unique<State>(*other.state_) : nullptr) {}
Voice::Voice(Voice&& other) noexcept = default;
Voice& Voice::operator=(const Voice& other) {
    if (this != &other) {
        state_ = other.state_ ? std::make_unique<State>(*other.state_) : nullptr;
    }
    return *this;
}
Voice& Voice::operator=(Voice&& other) noexcept = default;

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
    auto v = std::make_unique<Voice::State>();
    v->patch = patch;
    v->rate_hz = static_cast<double>(rate_hz);
    v->sample_count = sample_count_of(duration_s, rate_hz);
    v->generator = generator_of(patch);
    v->stages = stages_in_use(patch);
    if (patch.hardware && has_hardware_model(patch.chip)) {
        std::vector<FrameWrites> frames = hardware_frames(patch, duration_s).frames;
        bool started = false;
        if (patch.chip == ChipType::gameboy) {
            if (auto model = GbRender::start(std::move(frames), rate_hz, v->sample_count)) {
                v->hardware = std::move(*model);
                started = true;
            }
        } else if (auto model = NesRender::start(std::move(frames), rate_hz, v->sample_count)) {
            v->hardware = std::move(*model);
            started = true;
        }
        if (!started) {
            v->sample_count = 0;  // a rate the model does not render at
        }
        return Voice(std::move(v));
    }
    v->tone = PitchStages(patch, v->rate_hz);
    v->signal = SignalStages(patch, v->rate_hz, v->sample_count);
    v->phaser_ring.assign(v->signal.ring_length(v->sample_count), 0.0);
    return Voice(std::move(v));
}

std::size_t samples_left(const Voice& voice) {
    const Voice::State* v = voice.state();
    const std::uint64_t left =
        v != nullptr && v->next_sample < v->sample_count ? v->sample_count - v->next_sample : 0;
    return left > std::numeric_limits<std::size_t>::max() ? std::numeric_limits<std::size_t>::max()
                                                          : static_cast<std::size_t>(left);
}

Voice start_mix(std::span<const VoiceLayer> layers, std::int32_t rate_hz) {
    auto mix = std::make_unique<Voice::State>();
    mix->rate_hz = static_cast<double>(rate_hz);
    for (const VoiceLayer& layer : layers) {
        Voice voice = start_voice(layer.patch, layer.duration_s, rate_hz);
        const double first = std::floor(layer.start_s * mix->rate_hz);
        const std::uint64_t begins = first >= 0.0 && first < 0x1p63 ? static_cast<std::uint64_t>(first) : 0;
        const std::uint64_t count = voice.state()->sample_count;
        const std::uint64_t ends = count > UINT64_MAX - begins ? UINT64_MAX : begins + count;
        mix->sample_count = std::max(mix->sample_count, ends);
        mix->layers.push_back(std::move(voice));
        mix->layer_starts.push_back(begins);
        mix->layer_gains.push_back(layer.mix_gain);
    }
    return Voice(std::move(mix));
}

std::size_t render_voice(Voice& voice, std::span<float> out) {
    const std::span<float> piece = out.first(std::min(out.size(), samples_left(voice)));
    if (piece.empty()) {
        return 0;
    }
    Voice::State& v = *voice.state();
    if (!v.layers.empty()) {
        render_mix(v, piece);
        return piece.size();
    }
    if (v.hardware.index() != 0) {
        const std::size_t written = std::visit(
            [piece](auto& model) -> std::size_t {
                if constexpr (std::is_same_v<std::decay_t<decltype(model)>, std::monostate>) {
                    return 0;
                } else {
                    return model.render(piece);
                }
            },
            v.hardware);
        v.next_sample += written;
        return written;
    }
    switch (v.generator) {
    case Generator::pulse:
        render_with<Generator::pulse>(v, piece);
        break;
    case Generator::stepped_triangle:
        render_with<Generator::stepped_triangle>(v, piece);
        break;
    case Generator::saw_pulse:
        render_with<Generator::saw_pulse>(v, piece);
        break;
    case Generator::fm:
        render_with<Generator::fm>(v, piece);
        break;
    case Generator::silent:
        render_with<Generator::silent>(v, piece);
        break;
    }
    return piece.size();
}

SampleBuffer render_sfx(const SfxPatch& patch, double duration_s, std::int32_t rate_hz) {
    Voice voice = start_voice(patch, duration_s, rate_hz);
    SampleBuffer out(buffer_length(voice.state()->sample_count));
    (void)render_voice(voice, out);
    return out;
}

}  // namespace bleepforge
