#pragma once

// A polynomial sine with a proven error bound, for the FM voice, whose result only matters once
// narrowed to float: where the bound cannot decide the float, the caller uses nearest_sine instead.

#include <cmath>
#include <cstdint>

#include "voice.hpp"

namespace bleepforge::voice {

// Arguments beyond this are left to nearest_sine: the reduction below is exact only up to here.
inline constexpr double fast_sine_limit = 0x1p20;

// A bound on |fast_sine(x) - sin x| plus |nearest_sine(x) - sin x| for |x| <= fast_sine_limit.
// fast_sine: series remainder under 7.1e-12, evaluation rounding under 5e-16, reduction under 2e-16;
// nearest_sine is within half an ulp, 1.2e-16 at most. 3e-11 leaves a margin of four and still
// decides all but a few samples in a thousand, which take nearest_sine.
inline constexpr double sine_error_bound = 3e-11;

// The constants of fast_sine, shared with its four-lane twin.
namespace sine {
// pi/2 in three parts; the first has 33 significant bits, so k * part is exact for |k| < 2^20.
inline constexpr double half_pi_1 = 1.5707963267341256e+00;
inline constexpr double half_pi_2 = 6.0771005065061922e-11;
inline constexpr double half_pi_3 = 2.0222662487959506e-21;
inline constexpr double two_over_pi = 0.63661977236758134;
inline constexpr double round_shift = 0x1.8p52;  // adding and removing it rounds to an integer
// Taylor coefficients: sin to r^11, cos to r^12.
inline constexpr double s3 = -1.0 / 6;
inline constexpr double s5 = 1.0 / 120;
inline constexpr double s7 = -1.0 / 5040;
inline constexpr double s9 = 1.0 / 362880;
inline constexpr double s11 = -1.0 / 39916800;
inline constexpr double c2 = -0.5;
inline constexpr double c4 = 1.0 / 24;
inline constexpr double c6 = -1.0 / 720;
inline constexpr double c8 = 1.0 / 40320;
inline constexpr double c10 = -1.0 / 3628800;
inline constexpr double c12 = 1.0 / 479001600;
}  // namespace sine

inline double fast_sine(double x) {
    using namespace sine;
    const double k = (x * two_over_pi + round_shift) - round_shift;
    // x - k * half_pi_1 is exact (Sterbenz); r stays within pi/4 plus a rounding's width.
    const double r = ((x - k * half_pi_1) - k * half_pi_2) - k * half_pi_3;
    const double r2 = r * r;
    // Taylor series to r^11 and r^12: for |r| <= 0.786 the first omitted terms, which bound the
    // error of these alternating series, are below 7.1e-12 and 3.5e-13. Evaluated in independent
    // pairs of terms (Estrin's scheme), which shortens the chain of dependent operations.
    const double r4 = r2 * r2;
    const auto quadrant = static_cast<std::int64_t>(k) & 3;
    double v = 0.0;
    if ((quadrant & 1) == 0) {
        v = r + (r * r2) * ((s3 + r2 * s5) + r4 * ((s7 + r2 * s9) + r4 * s11));
    } else {
        v = 1.0 + r2 * ((c2 + r2 * c4) + r4 * ((c6 + r2 * c8) + r4 * (c10 + r2 * c12)));
    }
    return quadrant < 2 ? v : -v;
}

// The FM voice as written: both sines correctly rounded. Out of line (fm_block.cpp): it is the
// rare path of the loops that call it.
[[nodiscard]] float fm_voice_exact(double phase, double mod_phase, double fm_index);

// The FM voice, exactly fm_voice_exact's float, mostly without the slower nearest_sine.
inline float fm_voice(double phase, double mod_phase, double fm_index) {
    constexpr double eps = 0x1p-52;
    if (std::fabs(mod_phase) <= fast_sine_limit) {
        const double y = phase + fm_index * fast_sine(mod_phase);
        if (std::fabs(y) <= fast_sine_limit) {
            const double v = fast_sine(y);
            // How far nearest_sine's result can lie from v, the inner error carried by the index and
            // the roundings of the product and the sum included.
            const double bound = sine_error_bound * (1.0 + std::fabs(fm_index)) +
                                 4.0 * eps * (std::fabs(fm_index) + std::fabs(y) + 1.0);
            const auto low = static_cast<float>(v - bound);
            // Narrowing is monotonic: equal ends mean every value between narrows the same. At zero
            // the ends could still differ in sign, so zero is left to nearest_sine.
            if (low == static_cast<float>(v + bound) && low != 0.0f) {
                return low;
            }
        }
    }
    return fm_voice_exact(phase, mod_phase, fm_index);
}

}  // namespace bleepforge::voice
