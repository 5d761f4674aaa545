#pragma once

// The chain of synth.hpp as units: each stage its parameters and its own state, set up once for a
// render from the patch and the rate, then stepped once a sample. The stages' loop and the plain
// reference renderer both run these, so a stage's arithmetic is written once. A unit that is off
// passes its input through untouched, so the chain with every stage neutral is the original voice.

#include <cstdint>
#include <vector>

#include "bleepforge/synth.hpp"
#include "stages.hpp"
#include "voice.hpp"

namespace bleepforge::voice {

// Where a sample stands: its index i, i as a double (which the loops count up by 1, exact below 2^53,
// rather than convert each sample) and its time t = index / rate.
struct Tick {
    std::uint64_t i;
    double index;
    double t_s;
};

// Repeat: where floor(i * repeat_rate / rate) grows, a new period begins and the pitch starts again.
class Repeat {
public:
    Repeat() = default;
    Repeat(const SfxPatch& p, double rate_hz)
        : on_(repeat_is_on(p)), per_second_(p.repeat_rate), rate_hz_(rate_hz) {}

    // Whether the sample begins a new period (never sample 0, which begins the sound).
    bool begins_period(const Tick& at) {
        if (!on_) {
            return false;
        }
        const double begun = periods_begun(at.index, per_second_, rate_hz_);
        if (begun == count_) {
            return false;
        }
        count_ = begun;
        start_ = at.index;
        return true;
    }
    // tau: seconds since the start of the sound or of the current period.
    [[nodiscard]] double since_start_s(const Tick& at) const { return (at.index - start_) / rate_hz_; }

private:
    bool on_ = false;
    double per_second_ = 0.0;
    double rate_hz_ = 1.0;
    double count_ = 0.0;  // floor(i * repeat_rate / rate) at the last sample
    double start_ = 0.0;  // the index of the sample the current period began at
};

// The pitch before vibrato: the slide (with its acceleration) and the two jumps.
class Pitch {
public:
    Pitch() = default;
    Pitch(const SfxPatch& p, double rate_hz)
        : hz_(p.base_freq),
          base_hz_(p.base_freq),
          slide_hz_s_(p.freq_slide),
          accel_hz_s2_(p.freq_slide_accel),
          rate_hz_(rate_hz),
          jumps_{{p.jump1_semitones, p.jump1_time, false}, {p.jump2_semitones, p.jump2_time, false}} {}

    // Back to the start pitch, the jumps waiting again: a repeat's new period.
    void restart() {
        hz_ = base_hz_;
        for (Jump& jump : jumps_) {
            jump.done = false;
        }
    }
    // The original voice's step: the slide alone, by a step fixed for the render.
    double slide_by(double step_hz) {
        hz_ = slide_pitch(hz_, step_hz);
        return hz_;
    }
    // The stages' step at tau seconds into the period: slide, then each jump that is due.
    double step(double tau_s) {
        hz_ = slide_pitch(hz_, slide_step_at(slide_hz_s_, accel_hz_s2_, tau_s, rate_hz_));
        for (Jump& jump : jumps_) {
            if (jump.semitones != 0.0 && !jump.done && tau_s >= jump.time_s) {
                hz_ = jumped(hz_, jump.semitones);
                jump.done = true;
            }
        }
        return hz_;
    }
    [[nodiscard]] double hz() const { return hz_; }

private:
    struct Jump {
        double semitones;
        double time_s;
        bool done;
    };
    double hz_ = 0.0;
    double base_hz_ = 0.0;
    double slide_hz_s_ = 0.0;
    double accel_hz_s2_ = 0.0;
    double rate_hz_ = 1.0;
    Jump jumps_[2] = {};
};

// Vibrato on absolute time: the tone's pitch is freq + depth * sin(2 pi rate t).
class Vibrato {
public:
    Vibrato() = default;
    explicit Vibrato(const SfxPatch& p)
        : on_(vibrato_is_on(p)), depth_hz_(p.vibrato_depth), speed_(two_pi * p.vibrato_rate) {}

    [[nodiscard]] bool on() const { return on_; }
    // The tone's pitch at t seconds, with the vibrato on.
    [[nodiscard]] double add(double freq_hz, double t_s) const {
        return freq_hz + depth_hz_ * nearest_sine(t_s * speed_);
    }
    [[nodiscard]] double tone_hz(double freq_hz, double t_s) const {
        return on_ ? add(freq_hz, t_s) : freq_hz;
    }

private:
    bool on_ = false;
    double depth_hz_ = 0.0;
    double speed_ = 0.0;  // radians a second
};

// The pulse's duty, swept from the start of each period and held in swept_duty_min to swept_duty_max,
// where the pulse still sounds (at 0 or 1 it would settle into a constant level).
class DutySweep {
public:
    DutySweep() = default;
    explicit DutySweep(const SfxPatch& p)
        : sweeps_(p.duty_sweep != 0.0), duty_(p.duty), per_second_(p.duty_sweep) {}

    [[nodiscard]] double duty(double tau_s) const {
        return sweeps_ ? swept(duty_, per_second_, tau_s, swept_duty_min, swept_duty_max) : duty_;
    }

private:
    bool sweeps_ = false;
    double duty_ = 0.0;
    double per_second_ = 0.0;
};

// The noise layer: mixed into every sample above noise_every_sample_above, else only while the pitch
// is below noise_below_hz.
class Noise {
public:
    Noise() = default;
    explicit Noise(const SfxPatch& p) : always_(noise_on_every_sample(p)), below_hz_(p.noise_below_hz) {}

    float mix(float voice, double freq_hz) {
        if (always_ || freq_hz < below_hz_) {
            return mix_noise(voice, step_lfsr(lfsr_));
        }
        return voice;
    }

private:
    bool always_ = false;
    double below_hz_ = 120.0;
    std::uint32_t lfsr_ = 0x7FFF;
};

// The original low-pass, its cutoff factor swept where filter_sweep is not 0.
class LowPass {
public:
    LowPass() = default;
    LowPass(const SfxPatch& p, double rate_hz)
        : on_(filter_is_on(p)),
          sweeps_(p.filter_sweep != 0.0),
          cutoff_(p.filter_cutoff),
          per_second_(p.filter_sweep),
          damping_(filter_damping(p.noise)),
          rate_hz_(rate_hz) {}

    [[nodiscard]] bool on() const { return on_; }
    // The filter with its own cutoff factor: the original step.
    float step(float in, double freq_hz) {
        return filter_sample(state_, in, freq_hz, cutoff_, damping_, rate_hz_);
    }
    // With the sweep, at t seconds; the input unchanged while the filter is off.
    float step(float in, double freq_hz, double t_s) {
        if (!on_) {
            return in;
        }
        const double cutoff = sweeps_ ? swept(cutoff_, per_second_, t_s, 0.0, 1.0) : cutoff_;
        return filter_sample(state_, in, freq_hz, cutoff, damping_, rate_hz_);
    }

private:
    bool on_ = false;
    bool sweeps_ = false;
    double cutoff_ = 1.0;
    double per_second_ = 0.0;
    FilterDamping damping_{1.0, 1.0};
    double rate_hz_ = 1.0;
    FilterState state_;
};

// Two one-pole high-pass stages, their cutoff swept and held in 0 to highpass_max_hz.
class HighPass {
public:
    HighPass() = default;
    HighPass(const SfxPatch& p, double rate_hz)
        : on_(highpass_is_on(p)),
          cutoff_hz_(p.highpass_cutoff),
          per_second_(p.highpass_sweep),
          rate_hz_(rate_hz) {}

    double step(double x, double t_s) {
        if (!on_) {
            return x;
        }
        const double cutoff_hz = swept(cutoff_hz_, per_second_, t_s, 0.0, highpass_max_hz);
        return highpass_sample(x_, y_, x, cutoff_hz, rate_hz_);
    }

private:
    bool on_ = false;
    double cutoff_hz_ = 0.0;
    double per_second_ = 0.0;
    double rate_hz_ = 1.0;
    double x_[2] = {0.0, 0.0};  // each stage's last input and output
    double y_[2] = {0.0, 0.0};
};

// The first index i in [0, count] for which t = i / rate < end_s is false: the envelope's tests as
// integer comparisons.
std::uint64_t first_index_not_before(double end_s, double rate_hz, std::uint64_t count);

// The level: the original envelope, then the punch and the tremolo.
class Level {
public:
    Level() = default;
    Level(const SfxPatch& p, double rate_hz, std::uint64_t sample_count)
        : shape_(make_envelope(p)),
          attack_end_(first_index_not_before(shape_.attack_end, rate_hz, sample_count)),
          decay_end_(first_index_not_before(shape_.decay_end, rate_hz, sample_count)),
          sustain_end_(first_index_not_before(shape_.sustain_end, rate_hz, sample_count)),
          release_end_(first_index_not_before(shape_.release_end, rate_hz, sample_count)),
          punch_(p.punch),
          tremolo_depth_(p.tremolo_depth),
          tremolo_rate_hz_(p.tremolo_rate),
          punch_on_(p.punch != 0.0),
          tremolo_on_(tremolo_is_on(p)) {}

    // The same level as envelope_level(shape, i / rate), dividing only where the level reads t.
    [[nodiscard]] float envelope(const Tick& at) const {
        const std::uint64_t i = at.i;
        Segment segment = Segment::silent;
        if (i < attack_end_) {
            segment = Segment::attack;
        } else if (i < decay_end_) {
            segment = Segment::decay;
        } else if (i < sustain_end_) {
            return level_in(shape_, Segment::sustain, 0.0);
        } else if (i < release_end_) {
            segment = Segment::release;
        } else {
            return 0.0f;
        }
        return level_in(shape_, segment, at.t_s);
    }
    // x times the envelope's level env, then the punch's and the tremolo's factors at t, in double.
    [[nodiscard]] double apply(double x, float env, double t_s) const {
        x = x * static_cast<double>(env);
        if (punch_on_) {
            x = x * punch_gain(shape_, punch_, t_s);
        }
        if (tremolo_on_) {
            x = x * tremolo_gain(tremolo_depth_, tremolo_rate_hz_, t_s);
        }
        return x;
    }

private:
    Envelope shape_{};
    std::uint64_t attack_end_ = 0;  // each segment's end, as the index of its first sample after
    std::uint64_t decay_end_ = 0;
    std::uint64_t sustain_end_ = 0;
    std::uint64_t release_end_ = 0;
    double punch_ = 0.0;
    double tremolo_depth_ = 0.0;
    double tremolo_rate_hz_ = 0.0;
    bool punch_on_ = false;
    bool tremolo_on_ = false;
};

// Half the signal plus half of itself a swept delay ago. Its ring of the last samples is the caller's
// (ring_length long), so the unit itself stays a plain value that copies cheaply.
class Phaser {
public:
    Phaser() = default;
    Phaser(const SfxPatch& p, double rate_hz)
        : on_(phaser_is_on(p)), offset_s_(p.phaser_offset), per_second_(p.phaser_sweep), rate_hz_(rate_hz) {}

    // The ring a render of sample_count samples needs: none where the phaser is off.
    [[nodiscard]] std::size_t ring_length(std::uint64_t sample_count) const {
        return on_ && sample_count > 0 ? phaser_line_length(rate_hz_) : 0;
    }
    double step(double x, std::uint64_t i, double t_s, std::vector<double>& ring) const {
        if (!on_) {
            return x;
        }
        ring[i % ring.size()] = x;
        const double delay_s = swept(offset_s_, per_second_, t_s, 0.0, phaser_max_s);
        return phaser_sample(ring, i, x, delay_s * rate_hz_);
    }

private:
    bool on_ = false;
    double offset_s_ = 0.0;
    double per_second_ = 0.0;
    double rate_hz_ = 1.0;
};

// Sample-and-hold: the value taken where floor(i * downsample_rate / rate) grows, held between.
class SampleHold {
public:
    SampleHold() = default;
    SampleHold(const SfxPatch& p, double rate_hz)
        : on_(downsample_is_on(p)), per_second_(p.downsample_rate), rate_hz_(rate_hz) {}

    double step(double x, const Tick& at) {
        if (!on_) {
            return x;
        }
        const double begun = periods_begun(at.index, per_second_, rate_hz_);
        if (begun != count_) {
            count_ = begun;
            held_ = x;
        }
        return held_;
    }

private:
    bool on_ = false;
    double per_second_ = 0.0;
    double rate_hz_ = 1.0;
    double count_ = -1.0;  // floor(i * downsample_rate / rate) of the held value
    double held_ = 0.0;
};

// The bit crush to bitcrush_bits whole bits below 16.
class BitCrush {
public:
    BitCrush() = default;
    explicit BitCrush(const SfxPatch& p) : on_(bitcrush_is_on(p)), bits_(p.bitcrush_bits) {}

    [[nodiscard]] double step(double x) const { return on_ ? crushed(x, bits_) : x; }

private:
    bool on_ = false;
    double bits_ = 16.0;
};

// The gain, then the clip to [-1, 1] as a float.
class Output {
public:
    Output() = default;
    explicit Output(const SfxPatch& p) : gain_(p.gain) {}

    [[nodiscard]] float step(double x) const { return clip_sample(static_cast<float>(x * gain_)); }

private:
    double gain_ = 1.0;
};

// What comes before the generator: the repeat, the pitch, the vibrato and the duty, for one sample.
struct Tone {
    double freq_hz;  // the pitch before vibrato, which the noise and the low-pass follow
    double tone_hz;  // with the vibrato, which the phases advance by
    double duty;
};

class PitchStages {
public:
    PitchStages() = default;
    PitchStages(const SfxPatch& p, double rate_hz)
        : repeat_(p, rate_hz), pitch_(p, rate_hz), vibrato_(p), duty_(p) {}

    // The original voice's step: the slide by a step fixed for the render, the vibrato where kVibrato.
    template <bool kVibrato>
    Tone design_step(const Tick& at, double slide_step_hz) {
        const double freq_hz = pitch_.slide_by(slide_step_hz);
        if constexpr (kVibrato) {
            return {freq_hz, vibrato_.add(freq_hz, at.t_s), 0.0};
        } else {
            return {freq_hz, freq_hz, 0.0};
        }
    }
    // The stages' step: a new period where the repeat begins one, the slide and jumps at tau, the
    // vibrato and the swept duty.
    Tone step(const Tick& at) {
        if (repeat_.begins_period(at)) {
            pitch_.restart();
        }
        const double tau_s = repeat_.since_start_s(at);
        const double freq_hz = pitch_.step(tau_s);
        return {freq_hz, vibrato_.tone_hz(freq_hz, at.t_s), duty_.duty(tau_s)};
    }
    [[nodiscard]] double freq_hz() const { return pitch_.hz(); }

private:
    Repeat repeat_;
    Pitch pitch_;
    Vibrato vibrato_;
    DutySweep duty_;
};

// What comes after the generator, from the noise layer to the clip.
class SignalStages {
public:
    SignalStages() = default;
    SignalStages(const SfxPatch& p, double rate_hz, std::uint64_t sample_count)
        : noise_(p),
          lowpass_(p, rate_hz),
          highpass_(p, rate_hz),
          level_(p, rate_hz, sample_count),
          phaser_(p, rate_hz),
          hold_(p, rate_hz),
          crush_(p),
          output_(p) {}

    [[nodiscard]] float envelope(const Tick& at) const { return level_.envelope(at); }
    // The original voice's step: the noise layer, the low-pass where kFilter, the envelope in float, the clip.
    template <bool kFilter>
    float design_step(float voice, double freq_hz, float env) {
        voice = noise_.mix(voice, freq_hz);
        if constexpr (kFilter) {
            voice = lowpass_.step(voice, freq_hz);
        }
        return clip_sample(voice * env);
    }
    // The phaser's ring for a render of sample_count samples.
    [[nodiscard]] std::size_t ring_length(std::uint64_t sample_count) const {
        return phaser_.ring_length(sample_count);
    }
    // Sample i from the generator's voice, the pitch it followed and the envelope's level; ring is
    // the phaser's, ring_length long.
    float step(float voice, double freq_hz, float env, const Tick& at, std::vector<double>& ring) {
        const double t_s = at.t_s;
        voice = noise_.mix(voice, freq_hz);
        voice = lowpass_.step(voice, freq_hz, t_s);
        double x = highpass_.step(static_cast<double>(voice), t_s);
        x = level_.apply(x, env, t_s);
        x = phaser_.step(x, at.i, t_s, ring);
        x = hold_.step(x, at);
        x = crush_.step(x);
        return output_.step(x);
    }

private:
    Noise noise_;
    LowPass lowpass_;
    HighPass highpass_;
    Level level_;
    Phaser phaser_;
    SampleHold hold_;
    BitCrush crush_;
    Output output_;
};

}  // namespace bleepforge::voice
