#include "output.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

namespace bleepforge::chip {
namespace {

// The anti-aliasing step B(x) from x = -8 to 0 samples, 256 points a sample; B(x) = 1 - B(-x).
constexpr double half_step[] = {
#include "step_kernel.inc"
};
constexpr int half_points = kernel_taps / 2 * kernel_phases;
static_assert(std::size(half_step) == half_points + 1);

// B at grid point k, x = -8 + k / 256, for k from 0 up: 1 past the window.
double anti_alias_step(int k) {
    if (k <= half_points) {
        return half_step[k];
    }
    return k >= 2 * half_points ? 1.0 : 1.0 - half_step[2 * half_points - k];
}

}  // namespace

double exp_negative(double x) {
    int halvings = 0;
    while (x > 0.125) {
        x *= 0.5;
        ++halvings;
    }
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k <= 12; ++k) {  // the 13th term is below 2^-53 of the sum for x <= 1/8
        term = term * -x / k;
        sum += term;
    }
    for (; halvings > 0; --halvings) {
        sum *= sum;
    }
    return sum;
}

StepKernel make_step_kernel(std::int32_t rate_hz, double low_pass_hz) {
    StepKernel kernel;
    const double rate = rate_hz;
    const int points = (kernel_taps + 1) * kernel_phases;
    std::vector<double> s(static_cast<std::size_t>(points) + 1, 0.0);
    if (low_pass_hz > 0.0) {
        // The low-pass on the grid: time constant tau grid steps; for an input linear over a step from
        // b0 to b1, s' = a s + (1 - a) b0 + (b1 - b0) (1 - tau (1 - a)).
        const double tau = rate * kernel_phases / (2.0 * pi * low_pass_hz);
        const double a = exp_negative(1.0 / tau);
        const double ramp = 1.0 - tau * (1.0 - a);
        for (int k = 1; k <= points; ++k) {
            const double b0 = anti_alias_step(k - 1);
            const double b1 = anti_alias_step(k);
            s[static_cast<std::size_t>(k)] =
                a * s[static_cast<std::size_t>(k - 1)] + (1.0 - a) * b0 + (b1 - b0) * ramp;
        }
    } else {
        for (int k = 1; k <= points; ++k) {
            s[static_cast<std::size_t>(k)] = anti_alias_step(k);
        }
    }
    // Row p, a step at p/256 of a sample past sample n0: sample n0 - 7 + j sits at grid point
    // (j + 1) * 256 - p of the response, which is 0 at and before grid point 0.
    auto at = [&](int k) { return k <= 0 ? 0.0 : s[static_cast<std::size_t>(k)]; };
    for (int p = 0; p < kernel_phases; ++p) {
        float* row = kernel.rows.data() + static_cast<std::size_t>(p) * kernel_stride;
        for (int j = 0; j < kernel_taps; ++j) {
            row[j] = static_cast<float>(at((j + 1) * kernel_phases - p) - at(j * kernel_phases - p));
        }
        row[kernel_taps] = static_cast<float>(1.0 - at(kernel_taps * kernel_phases - p));
        row[kernel_tail] = static_cast<float>(at((kernel_taps + 1) * kernel_phases - p) - 1.0);
    }
    kernel.tail_decay = low_pass_hz > 0.0 ? exp_negative(2.0 * pi * low_pass_hz / rate) : 0.0;
    return kernel;
}

StepBuffer::StepBuffer(std::uint64_t clock_hz, std::int32_t rate_hz, double low_pass_hz, double start_level)
    : kernel_(make_step_kernel(rate_hz, low_pass_hz)),
      clock_hz_(clock_hz),
      per_cycle_((static_cast<std::uint64_t>(rate_hz) << 32U) / clock_hz),
      rate_hz_(static_cast<std::uint64_t>(rate_hz)),
      integral_(start_level) {}

void StepBuffer::move_base(Cycle c) {
    flush();
    base_remainder_ += (c - base_cycle_) * rate_hz_;
    base_sample_ += static_cast<std::int64_t>(base_remainder_ / clock_hz_);
    base_remainder_ %= clock_hz_;
    base_fraction_ = (base_remainder_ << 32U) / clock_hz_;
    base_cycle_ = c;
}

void StepBuffer::make_room() {
    const auto gone = static_cast<std::size_t>(read_ - origin_);
    if (gone < size / 2) {
        return;
    }
    // Slots before read_ were cleared as they were read; what the steps reach lies before the end.
    std::copy(deltas_.begin() + static_cast<std::ptrdiff_t>(gone), deltas_.end(), deltas_.begin());
    std::copy(tails_.begin() + static_cast<std::ptrdiff_t>(gone), tails_.end(), tails_.begin());
    std::fill(deltas_.end() - static_cast<std::ptrdiff_t>(gone), deltas_.end(), 0.0f);
    std::fill(tails_.end() - static_cast<std::ptrdiff_t>(gone), tails_.end(), 0.0f);
    origin_ += static_cast<std::int64_t>(gone);
}

}  // namespace bleepforge::chip
