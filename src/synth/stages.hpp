#pragma once

// The stages of format 2, each one small step on a voice's state (the chain and its formulas are in
// bleepforge/synth.hpp). Only + - * /, floor and the polynomial sine: the same bits everywhere.

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "fast_sine.hpp"
#include "voice.hpp"

namespace bleepforge::voice {

// 2^(n/12) for n = -24 ... 24, each the double nearest the exact ratio (from 80-digit arithmetic).
inline constexpr std::array<double, 49> semitone_ratios{
    0.25,
    0.2648657735898238,
    0.28061551207734325,
    0.29730177875068026,
    0.3149802624737183,
    0.3337099635425086,
    0.3535533905932738,
    0.3745767692191704,
    0.3968502629920499,
    0.42044820762685725,
    0.44544935907016964,
    0.47193715634084676,
    0.5,
    0.5297315471796477,
    0.5612310241546865,
    0.5946035575013605,
    0.6299605249474366,
    0.6674199270850172,
    0.7071067811865476,
    0.7491535384383408,
    0.7937005259840998,
    0.8408964152537145,
    0.8908987181403393,
    0.9438743126816935,
    1.0,
    1.0594630943592953,
    1.122462048309373,
    1.189207115002721,
    1.2599210498948732,
    1.3348398541700344,
    1.4142135623730951,
    1.4983070768766815,
    1.5874010519681996,
    1.681792830507429,
    1.7817974362806785,
    1.887748625363387,
    2.0,
    2.1189261887185906,
    2.244924096618746,
    2.378414230005442,
    2.5198420997897464,
    2.6696797083400687,
    2.8284271247461903,
    2.996614153753363,
    3.174802103936399,
    3.363585661014858,
    3.563594872561357,
    3.775497250726774,
    4.0,
};

// The ratio of a jump of n semitones, n truncated and held in -24 ... 24 (NaN gives 1).
inline double semitone_ratio(double semitones) {
    const double n = semitones >= 24.0    ? 24.0
                     : semitones >= -24.0 ? semitones
                     : semitones < -24.0  ? -24.0
                                          : 0.0;
    const int index = static_cast<int>(n) + 24;
    return semitone_ratios[static_cast<std::size_t>(index)];
}

// A swept value: start + per_second * t, held in [low, high] (a NaN gives low).
inline double swept(double start, double per_second, double t_s, double low, double high) {
    const double value = start + per_second * t_s;
    return value >= low ? (value <= high ? value : high) : low;
}

// The pitch step of a slide that accelerates: (slide + accel * tau) / rate. With no acceleration it is
// exactly the original slide / rate.
inline double slide_step_at(double slide_hz_s, double accel_hz_s2, double tau_s, double rate_hz) {
    return (slide_hz_s + accel_hz_s2 * tau_s) / rate_hz;
}

// A pitch after a jump, held in the band the slide keeps.
inline double jumped(double freq_hz, double semitones) {
    const double next = freq_hz * semitone_ratio(semitones);
    return next < 20.0 ? 20.0 : next > 20000.0 ? 20000.0 : next;
}

// How many periods of a rate have begun by sample i (index, i as a double): floor(i * per_second /
// rate), in double so that no value overflows a conversion.
inline double periods_begun(double index, double per_second, double rate_hz) {
    return floor_exact(index * per_second / rate_hz);
}

// Two one-pole high-pass stages in a row (12 dB an octave), from rest: each y = a (y' + x - x').
inline double highpass_sample(double (&x_last)[2], double (&y_last)[2], double in, double cutoff_hz,
                              double rate_hz) {
    const double a = 1.0 / (1.0 + (two_pi * cutoff_hz) / rate_hz);
    double x = in;
    for (std::size_t stage = 0; stage < 2; ++stage) {
        const double y = a * ((y_last[stage] + x) - x_last[stage]);
        x_last[stage] = x;
        y_last[stage] = y;
        x = y;
    }
    return x;
}

// The punch's factor: 1 + 2 punch through the attack, so the attack rises to 1 + 2 punch, then
// 1 + 2 punch (1 - the share of the decay gone), falling to 1 as the decay ends; 1 from then on. The
// level it shapes has no step and no second rise: the attack's top is the decay's start.
inline double punch_gain(const Envelope& e, double punch, double t_s) {
    if (t_s < e.attack_end) {
        return 1.0 + 2.0 * punch;
    }
    if (!(t_s < e.decay_end)) {
        return 1.0;
    }
    return 1.0 + 2.0 * punch * (1.0 - (t_s - e.attack_end) / e.decay_div);
}

// The tremolo's factor, 1 at the start and swinging down to 1 - depth tremolo_rate times a second.
inline double tremolo_gain(double depth, double rate_hz, double t_s) {
    const double cycles = rate_hz * t_s;
    double position = cycles - floor_exact(cycles);  // keeps the sine's argument small
    if (!(position >= 0.0 && position < 1.0)) {
        position = 0.0;  // an infinite or NaN rate
    }
    return 1.0 - depth * (0.5 + 0.5 * fast_sine(two_pi * position - 0.5 * pi));
}

// The phaser: half the signal plus half of itself delay_samples ago, read linearly between the two
// nearest samples from a ring that already holds x at write; 0 before the start.
inline double phaser_sample(const std::vector<double>& line, std::uint64_t write, double x,
                            double delay_samples) {
    const double whole = floor_exact(delay_samples);
    const double fraction = delay_samples - whole;
    const auto back = static_cast<std::uint64_t>(whole);
    auto at = [&](std::uint64_t k) { return k <= write ? line[(write - k) % line.size()] : 0.0; };
    const double delayed = (1.0 - fraction) * at(back) + fraction * at(back + 1);
    return 0.5 * x + 0.5 * delayed;
}

// The ring's length for the longest delay at a rate: 0.02 s of samples and the two read around it.
inline std::size_t phaser_line_length(double rate_hz) {
    return static_cast<std::size_t>(floor_exact(0.02 * rate_hz)) + 2;
}

// The bit crush of b whole bits (b from 1 to 15), symmetric about zero: x = k / 2^(b-1), k = x 2^(b-1)
// rounded half away from zero and held in -2^(b-1) ... 2^(b-1). The 2^b steps of [-1, 1] keep silence
// silent and a tone's two halves alike (at one bit: -1, 0 and 1).
inline double crushed(double x, double bits) {
    const int b = bits >= 1.0 ? static_cast<int>(bits) : 1;
    const double steps = static_cast<double>(std::uint32_t{1} << static_cast<unsigned>(b - 1));
    const double size = floor_exact((x < 0.0 ? -x : x) * steps + 0.5);
    const double k = size > steps ? steps : size;
    return (x < 0.0 ? -k : k) / steps;
}

}  // namespace bleepforge::voice
