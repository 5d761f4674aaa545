#pragma once

// The output stage of the models, their only floating point: the mixed level is a step signal that
// changes at the chip's clock cycles. Each step is added to the output as a band-limited step (the step
// response of the resampler's anti-aliasing low-pass, followed by the console's own low-pass where it
// has one, from a table of 256 phases a sample), the sum is integrated, and the console's high-passes
// run on the samples. Only + - * / on IEEE doubles and floats, in a fixed order: the same bits
// everywhere.

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "bleepforge/hardware.hpp"

namespace bleepforge::chip {

using Cycle = std::uint64_t;  // clock cycles of the chip since the render's start
inline constexpr double pi = 3.141592653589793238;

// e^-x for x at or above 0, from + - * / alone: the series on x / 2^k below 1/8, squared k times.
[[nodiscard]] double exp_negative(double x);

// A first-order high-pass: the bilinear transform's form, y[n] = a y[n-1] + (1 + a) / 2 (x[n] - x[n-1]),
// 0 at DC and 1 at half the rate, with its pole at the analog filter's, a = e^(-2 pi corner / rate), so
// its corner stays within 0.1 dB of -3 dB at every output rate (the backward-Euler form's drifts to 378
// Hz for 440 Hz at 8000 Hz).
class HighPass {
public:
    HighPass(double corner_hz, double rate_hz, double start_input)
        : a_(exp_negative(2.0 * pi * corner_hz / rate_hz)), gain_((1.0 + a_) / 2.0), x_(start_input) {}
    double step(double x) {
        y_ = a_ * y_ + gain_ * (x - x_);
        x_ = x;
        return y_;
    }
    [[nodiscard]] double pole() const { return a_; }

private:
    double a_ = 0.0;
    double gain_ = 0.0;
    double x_ = 0.0;  // the last input and output: a start at rest on start_input
    double y_ = 0.0;
};

// The band-limited step: from tools/make_step_kernel.py, 16 samples wide (8 before the step, 8 after).
inline constexpr int kernel_taps = 16;
inline constexpr int kernel_phase_bits = 8;
inline constexpr int kernel_phases = 1 << kernel_phase_bits;
// One row a phase: the kernel_taps + 1 changes of the integrated output (the last brings it to 1), the
// low-pass tail's value on the sample after them, and two zeros, so a row is five 4-float vectors.
inline constexpr int kernel_tail = kernel_taps + 1;
inline constexpr int kernel_stride = kernel_taps + 4;

struct StepKernel {
    alignas(16) std::array<float, static_cast<std::size_t>(kernel_phases) * kernel_stride> rows{};
    double tail_decay = 0.0;  // per sample, e^(-2 pi 14000 / rate): the 14 kHz low-pass's tail
};

// The anti-aliasing step for rate_hz, low-passed at low_pass_hz (0: no low-pass): row p is a step at
// p / 256 of a sample after a sample instant. The low-pass runs on the table's grid of 1/256 sample,
// exactly for a step response that is linear between its points; past the window the low-pass is a
// pure exponential, so it is carried on by a one-pole recursion (tail_decay) instead of a longer table.
[[nodiscard]] StepKernel make_step_kernel(std::int32_t rate_hz, double low_pass_hz);

// The steps of one render, added where they fall and read out in order. The unit runs ahead in control
// intervals of at most 1000 samples at the output rate (the NES's 7458 CPU cycles are 801 samples at
// 192 kHz, the Game Boy's 8192 cycles 375); the buffer holds the samples the steps still touch and is
// moved down as it is read, so it never grows.
class StepBuffer {
public:
    // A chip clocked at clock_hz (an integer number of cycles a second), rendered at rate_hz, through the
    // console's low-pass at low_pass_hz (0: none); the level is start_level before the first step.
    StepBuffer(std::uint64_t clock_hz, std::int32_t rate_hz, double low_pass_hz, double start_level);

    // A step of delta in the mixed level at clock cycle c, which lies at or after the last move_base and
    // at most one control interval after it. The steps that land in the same output sample one after
    // the other are summed in a row of their own, which is added to the buffer when a step lands in
    // another sample or the base moves: the noise changes up to five times a sample at 44100 Hz, and
    // the buffer is then read and written once a sample instead of once a step.
    void add(Cycle c, float delta) {
        const std::uint64_t fraction = base_fraction_ + (c - base_cycle_) * per_cycle_;  // 2^-32 samples
        const std::uint64_t phase =
            (fraction + (std::uint64_t{1} << (31 - kernel_phase_bits))) >> (32 - kernel_phase_bits);
        const std::int64_t sample = base_sample_ + static_cast<std::int64_t>(phase >> kernel_phase_bits);
        if (sample != pending_sample_) {
            flush();
            pending_sample_ = sample;
        }
        const float* row = kernel_.rows.data() + (phase & (kernel_phases - 1)) * kernel_stride;
        for (int j = 0; j < kernel_stride; ++j) {
            pending_[static_cast<std::size_t>(j)] += delta * row[j];
        }
    }
    // The unit has run up to clock cycle c.
    void move_base(Cycle c);
    // Samples before this one are complete: no step at or after the base reaches them.
    [[nodiscard]] std::int64_t complete_end() const { return base_sample_ - kernel_taps / 2 + 1; }
    [[nodiscard]] std::int64_t next_sample() const { return read_; }
    // The band-limited level at next_sample(), then the next.
    double read() {
        const auto i = static_cast<std::size_t>(read_ - origin_);
        integral_ += static_cast<double>(deltas_[i]);
        tail_ = tail_ * kernel_.tail_decay + static_cast<double>(tails_[i]);
        deltas_[i] = 0.0f;
        tails_[i] = 0.0f;
        ++read_;
        return integral_ + tail_;
    }
    // Moves what is still to be read to the start of the buffer once half of it has been read.
    void make_room();

private:
    static constexpr std::size_t size = 4096;
    static constexpr std::int64_t no_sample = std::numeric_limits<std::int64_t>::min();

    // Adds the pending row where its sample's steps fall: the kernel_taps + 1 changes from 7 samples
    // before the sample on, and the low-pass tail's start after them.
    void flush() {
        if (pending_sample_ == no_sample) {
            return;
        }
        const auto first = static_cast<std::size_t>(pending_sample_ - origin_ - kernel_taps / 2 + 1);
        assert(pending_sample_ - origin_ - kernel_taps / 2 + 1 >= 0 && first + kernel_taps < size);
        for (std::size_t j = 0; j <= kernel_taps; ++j) {
            deltas_[first + j] += pending_[j];
        }
        tails_[first + kernel_taps] += pending_[kernel_tail];
        pending_.fill(0.0f);
        pending_sample_ = no_sample;
    }

    StepKernel kernel_;
    std::uint64_t clock_hz_ = 0;
    std::uint64_t per_cycle_ = 0;  // 2^-32 samples a clock cycle: rate * 2^32 / clock_hz
    std::uint64_t rate_hz_ = 0;
    Cycle base_cycle_ = 0;
    std::int64_t base_sample_ = 0;        // floor(base_cycle * rate / clock_hz)
    std::uint64_t base_remainder_ = 0;    // base_cycle * rate mod clock_hz, for the exact move
    std::uint64_t base_fraction_ = 0;     // the same in 2^-32 samples
    std::int64_t origin_ = -kernel_taps;  // the sample in slot 0
    std::int64_t read_ = -kernel_taps / 2;
    double integral_ = 0.0;
    double tail_ = 0.0;
    std::int64_t pending_sample_ = no_sample;
    alignas(16) std::array<float, kernel_stride> pending_{};
    std::array<float, size> deltas_{};
    std::array<float, size> tails_{};
};

// How the models' renders read their output: the unit runs one control interval at a time (the player
// steps its frames into the mix, whose steps() is the render's StepBuffer), and each sample is read
// through the console's filters by next_sample() once no later step can reach it.
template <class Player, class Mix>
void run_one_interval(Player& player, Mix& mix) {
    mix.steps().make_room();
    player.step(mix);
    mix.steps().move_base(player.now());
}

// Fills out with the next samples.
template <class Player, class Mix, class NextSample>
void pull(Player& player, Mix& mix, std::span<float> out, NextSample&& next_sample) {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::int64_t ready = mix.steps().complete_end() - mix.steps().next_sample();
        if (ready <= 0) {
            run_one_interval(player, mix);
            continue;
        }
        const std::size_t run = std::min(out.size() - done, static_cast<std::size_t>(ready));
        for (std::size_t i = 0; i < run; ++i) {
            out[done + i] = next_sample();
        }
        done += run;
    }
}

// Runs through the samples before 0 that the first steps reach: through the filters, not written.
template <class Player, class Mix, class NextSample>
void settle_before_start(Player& player, Mix& mix, NextSample&& next_sample) {
    while (mix.steps().next_sample() < 0) {
        if (mix.steps().next_sample() < mix.steps().complete_end()) {
            (void)next_sample();
        } else {
            run_one_interval(player, mix);
        }
    }
}

}  // namespace bleepforge::chip

namespace bleepforge::nes {

// The NTSC CPU clock, as an integer for the exact sample positions; "APU Mixer": the console's output
// filters, first order, on the front-loading NES: high-passes at 90 Hz and 440 Hz, a low-pass at 14 kHz.
inline constexpr auto cpu_hz = static_cast<std::uint64_t>(nes_cpu_hz);
inline constexpr double high_pass_1_hz = 90.0;
inline constexpr double high_pass_2_hz = 440.0;
inline constexpr double low_pass_hz = 14000.0;

}  // namespace bleepforge::nes
