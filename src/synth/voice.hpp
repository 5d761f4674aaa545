#pragma once

// The renderer's small steps, each its own idea, inline so the sample loop pays no calls.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "bleepforge/catalogue.hpp"
#include "sine.hpp"

namespace bleepforge::voice {

inline constexpr double two_pi = 6.283185307179586;
inline constexpr double pi = 3.141592653589793;

// The envelope's segment ends (running sums) and divisors, fixed for one render.
struct Envelope {
    double attack_end, decay_end, sustain_end, release_end;
    double attack_div, decay_div, release_div;
    double sustain_level;
};

// A zero or negative segment length only changes the divisions, never the boundaries.
inline double segment_divisor(double length_s) {
    return length_s > 0.0 ? length_s : 0.001;
}

inline Envelope make_envelope(const SfxPatch& p) {
    const double decay_end = p.attack + p.decay;
    const double sustain_end = decay_end + p.sustain_time;
    return {p.attack,
            decay_end,
            sustain_end,
            sustain_end + p.release,
            segment_divisor(p.attack),
            segment_divisor(p.decay),
            segment_divisor(p.release),
            p.sustain_level};
}

enum class Segment { attack, decay, sustain, release, silent };

// Every test is strict, against the running sums, in this order.
inline Segment segment_at(const Envelope& e, double t_s) {
    if (t_s < e.attack_end) {
        return Segment::attack;
    }
    if (t_s < e.decay_end) {
        return Segment::decay;
    }
    if (t_s < e.sustain_end) {
        return Segment::sustain;
    }
    if (t_s < e.release_end) {
        return Segment::release;
    }
    return Segment::silent;
}

// Level within a segment at time t_s, clamped to [0, 1] and narrowed to float. Sustain and
// silence do not read t_s.
inline float level_in(const Envelope& e, Segment segment, double t_s) {
    double level = 0.0;
    switch (segment) {
    case Segment::attack:
        level = t_s / e.attack_div;
        break;
    case Segment::decay:
        level = 1.0 - (((t_s - e.attack_end) / e.decay_div) * (1.0 - e.sustain_level));
        break;
    case Segment::sustain:
        level = e.sustain_level;
        break;
    case Segment::release:
        level = (1.0 - (t_s - e.sustain_end) / e.release_div) * e.sustain_level;
        break;
    case Segment::silent:
        return 0.0f;
    }
    if (level < 0.0) {
        return 0.0f;
    }
    if (level > 1.0) {
        return 1.0f;
    }
    return static_cast<float>(level);
}

inline float envelope_level(const Envelope& e, double t_s) {
    return level_in(e, segment_at(e, t_s), t_s);
}

// std::floor without a library call; identical for every double (the sign of a zero aside,
// which no use of a cycle position can see).
inline double floor_exact(double x) {
    if (std::fabs(x) < 0x1p52) {
        const auto whole = static_cast<double>(static_cast<std::int64_t>(x));
        return whole > x ? whole - 1.0 : whole;
    }
    return std::floor(x);
}

// Elapsed fraction of the current cycle, in [0, 1), also for a phase that runs backwards.
inline double cycle_position(double phase) {
    const double x = phase / two_pi;
    return x - floor_exact(x);
}

// The pitch after one sample of slide, held within the audible band.
inline double slide_pitch(double freq_hz, double slide_step) {
    const double next = freq_hz + slide_step;
    if (next < 20.0) {
        return 20.0;
    }
    if (next > 20000.0) {
        return 20000.0;
    }
    return next;
}

inline float pulse(double cycle_pos, double duty) {
    return cycle_pos < duty ? 0.75f : -0.75f;
}

// The 16 levels n / 7.5 - 1 in single precision, folded at compile time with the same rounding.
inline constexpr std::array<float, 16> triangle_levels = [] {
    std::array<float, 16> levels{};
    for (int n = 0; n < 16; ++n) {
        levels[static_cast<std::size_t>(n)] = static_cast<float>(n) / 7.5f - 1.0f;
    }
    return levels;
}();

inline float stepped_triangle(double cycle_pos) {
    // k = cycle_pos * 32 truncated. A backwards phase can round cycle_pos up to exactly 1 and a
    // non-finite pitch makes it NaN: k stays on the 32 steps (NaN at the first).
    const double scaled = cycle_pos * 32.0;
    int k = 0;
    if (scaled >= 31.0) {
        k = 31;
    } else if (scaled >= 1.0) {
        k = static_cast<int>(scaled);
    }
    const int n = k <= 15 ? k : 31 - k;
    return triangle_levels[static_cast<std::size_t>(n)];
}

inline float saw_pulse(double cycle_pos, double duty) {
    const auto saw = static_cast<float>(2.0 * cycle_pos - 1.0);
    const float square = cycle_pos < duty ? 0.8f : -0.8f;
    return (saw + square) * 0.5f;
}

// One step of the 15-bit noise register; returns the output bit (bit 0 after the shift).
inline bool step_lfsr(std::uint32_t& lfsr) {
    const std::uint32_t feedback = (lfsr ^ (lfsr >> 1U)) & 1U;
    lfsr = (lfsr >> 1U) | (feedback << 14U);
    return (lfsr & 1U) != 0;
}

inline float mix_noise(float voice, bool bit) {
    return voice * 0.6f + (bit ? 0.4f : -0.4f);
}

// Two-pole state-variable low-pass with damping q = 1 - noise; the state is carried in double.
struct FilterState {
    double low = 0.0;
    double band = 0.0;
};

// The damping the low-pass takes is held in [1/32, 1]: at 0 (noise 1) it would ring for ever, and
// above 1 (a noise below 0, outside its range) the bound below would no longer keep it decaying.
inline constexpr double min_filter_damping = 1.0 / 32.0;

// The low-pass's damping and the bound on its coefficient, fixed for a render by the noise amount.
// The recursion decays only while k^2 + 2 k q < 4 (beyond, it grows without limit). The bound
// k^2 + k q <= 2, k = 4 / (sqrt(q^2 + 8) + q), keeps it inside with a margin: there the gain at half
// the rate, k^2 / (4 - k^2 - 2 k q), is at most 1, the gain at 0 Hz, so the filter never rings at
// the top of the band (at q = 1, k = 1, it is a one-sample delay). Below the bound a sound keeps the
// bytes it had without one.
struct FilterDamping {
    double q;
    double k_max;
};

inline FilterDamping filter_damping(double noise) {
    const double damping = 1.0 - noise;
    const double q = damping >= min_filter_damping ? (damping <= 1.0 ? damping : 1.0) : min_filter_damping;
    return {q, 4.0 / (std::sqrt(q * q + 8.0) + q)};
}

inline float filter_sample(FilterState& s, float in, double freq_hz, double cutoff_factor,
                           FilterDamping damping, double rate_hz) {
    const double cutoff_hz = std::min(0.45 * rate_hz, std::max(50.0, 4.0 * freq_hz * cutoff_factor));
    const double free_k = 2.0 * nearest_sine(cutoff_hz * pi / rate_hz);
    const double k = free_k < damping.k_max ? free_k : damping.k_max;
    s.low = s.low + k * s.band;
    s.band = s.band + k * (static_cast<double>(in) - s.low - damping.q * s.band);
    return static_cast<float>(s.low);
}

// The stored sample: clipped to [-1, 1]; a NaN (only from unstable custom filters) becomes 0.
inline float clip_sample(float sample) {
    if (sample < -1.0f) {
        return -1.0f;
    }
    if (sample > 1.0f) {
        return 1.0f;
    }
    return sample == sample ? sample : 0.0f;
}

}  // namespace bleepforge::voice
