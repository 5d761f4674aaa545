#include "voice.hpp"

#include <algorithm>
#include <cmath>

namespace bleepforge::voice {
namespace {

// A zero or negative segment length only changes the divisions, never the boundaries.
double divisor(double length_s) {
    return length_s > 0.0 ? length_s : 0.001;
}

}  // namespace

float envelope_level(const SfxPatch& p, double t) {
    const double attack_end = p.attack;
    const double decay_end = attack_end + p.decay;
    const double sustain_end = decay_end + p.sustain_time;
    const double release_end = sustain_end + p.release;
    double level = 0.0;
    if (t < attack_end) {
        level = t / divisor(p.attack);
    } else if (t < decay_end) {
        level = 1.0 - (((t - p.attack) / divisor(p.decay)) * (1.0 - p.sustain_level));
    } else if (t < sustain_end) {
        level = p.sustain_level;
    } else if (t < release_end) {
        level = (1.0 - (t - sustain_end) / divisor(p.release)) * p.sustain_level;
    } else {
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

double cycle_position(double phase) {
    const double x = phase / two_pi;
    return x - std::floor(x);
}

float pulse(double cycle_pos, double duty) {
    return cycle_pos < duty ? 0.75f : -0.75f;
}

float stepped_triangle(double cycle_pos) {
    // cycle_pos can round up to exactly 1 for a backwards phase; keep k on the 32 steps.
    const int k = std::min(static_cast<int>(cycle_pos * 32.0), 31);
    const int n = k <= 15 ? k : 31 - k;
    return static_cast<float>(n) / 7.5f - 1.0f;
}

float saw_pulse(double cycle_pos, double duty) {
    const auto saw = static_cast<float>(2.0 * cycle_pos - 1.0);
    const float square = cycle_pos < duty ? 0.8f : -0.8f;
    return (saw + square) * 0.5f;
}

bool step_lfsr(std::uint32_t& lfsr) {
    const std::uint32_t feedback = (lfsr ^ (lfsr >> 1U)) & 1U;
    lfsr = (lfsr >> 1U) | (feedback << 14U);
    return (lfsr & 1U) != 0;
}

float mix_noise(float voice, bool bit) {
    return voice * 0.6f + (bit ? 0.4f : -0.4f);
}

float filter_sample(FilterState& s, float in, double freq, const SfxPatch& p, double rate) {
    const double cutoff_hz = std::min(0.45 * rate, std::max(50.0, 4.0 * freq * p.filter_cutoff));
    const double k = 2.0 * std::sin(cutoff_hz * pi / rate);
    s.low = s.low + k * s.band;
    s.band = s.band + k * (static_cast<double>(in) - s.low - (1.0 - p.noise) * s.band);
    return static_cast<float>(s.low);
}

}  // namespace bleepforge::voice
